@echo off
rem Installs Termgate for the users of this computer: copies Termgate.exe and its two pages into
rem Kelvarn\Termgate in the 32-bit Program Files folder, and adds the value Termgate to
rem HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce, so that Windows starts it once, at
rem the next logon of an administrator. c:\Kelvarn\Q-Harbor\Lang.ini is left as it is.
rem
rem Run it as an administrator, elevated, from the folder the zip was unpacked into; it takes no
rem arguments. Exit status: 0 installed, 1 not elevated, 2 a file could not be copied (or is
rem missing beside this script), 3 the registry value could not be written. DEPLOYMENT.txt,
rem section 2, says more.
setlocal EnableExtensions DisableDelayedExpansion

rem The files are taken from beside this script, not from the current folder: "Run as
rem administrator" starts a script in the system folder.
set "source=%~dp0"

rem Windows' own tools by their full path: a reg.exe or fltmc.exe that lies in the unpacked folder
rem must never run elevated. A 32-bit cmd on 64-bit Windows reaches the 64-bit ones through
rem Sysnative, and so the registry view that logons read.
set "tools=%SystemRoot%\System32"
if exist "%SystemRoot%\Sysnative\reg.exe" set "tools=%SystemRoot%\Sysnative"

rem fltmc answers only an elevated administrator, on every Windows since Vista, and unlike
rem "net session" it does not need the Server service. Wine has no fltmc (status 9009) and no
rem UAC: every program there holds an administrator's token, and its net answers "net session"
rem with status 0. A refusal may come as a negative status, hence the comparison with 0.
"%tools%\fltmc.exe" >nul 2>&1
if "%errorlevel%"=="9009" "%tools%\net.exe" session >nul 2>&1
if not "%errorlevel%"=="0" goto not_elevated

rem Termgate is a 32-bit program: on 64-bit Windows it belongs in Program Files (x86).
set "target=%ProgramFiles%\Kelvarn\Termgate"
if defined ProgramFiles(x86) set "target=%ProgramFiles(x86)%\Kelvarn\Termgate"

rem All three files are looked for before anything is changed. The steps are written out one by
rem one: Wine's cmd neither leaves a for loop at a goto nor runs an if block inside one.
set "file="
if not exist "%source%toolbar.html" set "file=toolbar.html"
if not exist "%source%index.html" set "file=index.html"
if not exist "%source%Termgate.exe" set "file=Termgate.exe"
if defined file goto missing

if not exist "%target%\" mkdir "%target%" >nul 2>&1
if not exist "%target%\" goto no_folder

rem Wine's cmd runs the right side of "copy ... || ..." even after a copy that succeeded, so each
rem copy's status is tested on a line of its own.
set "file=Termgate.exe"
copy /b /y "%source%%file%" "%target%\%file%" >nul
if errorlevel 1 goto copy_failed
set "file=index.html"
copy /b /y "%source%%file%" "%target%\%file%" >nul
if errorlevel 1 goto copy_failed
set "file=toolbar.html"
copy /b /y "%source%%file%" "%target%\%file%" >nul
if errorlevel 1 goto copy_failed

rem The value holds the exe's path in quotes, as a command line must when the path has blanks.
"%tools%\reg.exe" add "HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce" /v Termgate /t REG_SZ /d "\"%target%\Termgate.exe\"" /f >nul
if errorlevel 1 goto no_value

echo install.cmd: Termgate is installed in "%target%" and starts once at the next logon of an administrator.
exit /b 0

:not_elevated
echo install.cmd: run it as an administrator, elevated ("Run as administrator"); nothing was changed.
exit /b 1

:missing
echo install.cmd: %file% is not beside install.cmd; unpack the whole zip into one folder. Nothing was changed.
exit /b 2

:no_folder
echo install.cmd: the folder "%target%" cannot be created; nothing was copied.
exit /b 2

:copy_failed
echo install.cmd: %file% could not be copied into "%target%"; uninstall.cmd removes what was copied.
exit /b 2

:no_value
echo install.cmd: the RunOnce value Termgate could not be written; the files are in "%target%".
exit /b 3
