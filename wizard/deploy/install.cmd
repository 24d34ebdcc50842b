@echo off
rem Installs Termgate for the users of this computer. It checks every file of the kit against
rem SHA256SUMS.txt, copies Termgate.exe and its two pages into Kelvarn\Termgate in the 32-bit
rem Program Files folder, registers Termgate as the source of its entries in the Application event
rem log, and has Windows start Termgate once, at the next logon of an administrator: by default
rem elevated, through the scheduled task of Termgate-task.xml, which deletes itself once Termgate
rem has run; with /runonce, through the value Termgate in
rem HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce instead. Each way removes the other.
rem c:\Kelvarn\Q-Harbor\Lang.ini is left as it is.
rem
rem   install.cmd [/runonce] [/once]
rem
rem With /once it changes nothing when this very Termgate.exe is installed already, as a computer
rem startup script that runs at every start must.
rem
rem Run it as an administrator, elevated, from the folder the zip was unpacked into. Exit status:
rem 0 installed (or, with /once, installed already), 1 not elevated, 2 a file is missing or
rem damaged (nothing was changed) or could not be copied, 3 a registry value could not be
rem written, 4 the scheduled task could not be registered, 5 an unknown argument (nothing was
rem changed). DEPLOYMENT.txt, section 2, says more.
setlocal EnableExtensions DisableDelayedExpansion

rem The files are taken from beside this script, not from the current folder: "Run as
rem administrator" starts a script in the system folder.
set "source=%~dp0"

set "route=task"
set "once="
:arguments
if "%~1"=="" goto arguments_done
set "argument=%~1"
shift
if /i "%argument%"=="/runonce" set "route=runonce" & goto arguments
if /i "%argument%"=="/once" set "once=yes" & goto arguments
goto usage
:arguments_done

rem Windows' own tools by their full path: a reg.exe, schtasks.exe or certutil.exe that lies in the
rem unpacked folder must never run elevated. A 32-bit cmd on 64-bit Windows reaches the 64-bit ones
rem through Sysnative, and so the registry view that logons read.
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

rem Every file is looked for, then checked, before anything is changed. The steps are written out
rem one by one: Wine's cmd neither leaves a for loop at a goto nor runs an if block inside one.
set "file="
if not exist "%source%uninstall.cmd" set "file=uninstall.cmd"
if not exist "%source%toolbar.html" set "file=toolbar.html"
if not exist "%source%install.cmd" set "file=install.cmd"
if not exist "%source%index.html" set "file=index.html"
if not exist "%source%Termgate.exe" set "file=Termgate.exe"
if not exist "%source%Termgate-task.xml" set "file=Termgate-task.xml"
if not exist "%source%DEPLOYMENT.txt" set "file=DEPLOYMENT.txt"
if not exist "%source%SHA256SUMS.txt" set "file=SHA256SUMS.txt"
if defined file goto missing

rem Only what was built is installed: Windows' own certutil computes each file's SHA-256 sum, which
rem must be the one SHA256SUMS.txt gives for that name.
call :verify DEPLOYMENT.txt
if errorlevel 1 goto damaged
call :verify Termgate-task.xml
if errorlevel 1 goto damaged
call :verify Termgate.exe
if errorlevel 1 goto damaged
call :verify index.html
if errorlevel 1 goto damaged
call :verify install.cmd
if errorlevel 1 goto damaged
call :verify toolbar.html
if errorlevel 1 goto damaged
call :verify uninstall.cmd
if errorlevel 1 goto damaged

if not defined once goto install
call :verify Termgate.exe "%target%\Termgate.exe"
if errorlevel 1 goto install
echo install.cmd: this Termgate is installed in "%target%" already; nothing was changed (/once).
exit /b 0
:install

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

rem Event Viewer and log collectors read the texts of Termgate's entries from Termgate.exe itself.
set "source_key=HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Termgate"
"%tools%\reg.exe" add "%source_key%" /v EventMessageFile /t REG_EXPAND_SZ /d "%target%\Termgate.exe" /f >nul
if errorlevel 1 goto no_source
"%tools%\reg.exe" add "%source_key%" /v TypesSupported /t REG_DWORD /d 7 /f >nul
if errorlevel 1 goto no_source

set "runonce=HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce"
if "%route%"=="runonce" goto runonce

rem The task starts Termgate elevated, at the logon of any member of Administrators, from the
rem 32-bit Program Files folder of the Windows it runs on, and then deletes itself. A RunOnce value
rem left by an earlier install would start a second wizard, which would only end at once.
"%tools%\reg.exe" query "%runonce%" /v Termgate >nul 2>&1
if errorlevel 1 goto no_value_to_remove
"%tools%\reg.exe" delete "%runonce%" /v Termgate /f >nul
if errorlevel 1 goto value_left
:no_value_to_remove
"%tools%\schtasks.exe" /create /tn Termgate /xml "%source%Termgate-task.xml" /f >nul 2>&1
if errorlevel 1 goto no_task
echo install.cmd: Termgate is installed in "%target%" and starts once, elevated, at the next logon of an administrator.
exit /b 0

:runonce
"%tools%\schtasks.exe" /query /tn Termgate >nul 2>&1
if errorlevel 1 goto no_task_to_remove
"%tools%\schtasks.exe" /delete /tn Termgate /f >nul 2>&1
if errorlevel 1 goto task_left
:no_task_to_remove
rem The value holds the exe's path in quotes, as a command line must when the path has blanks.
"%tools%\reg.exe" add "%runonce%" /v Termgate /t REG_SZ /d "\"%target%\Termgate.exe\"" /f >nul
if errorlevel 1 goto no_value
echo install.cmd: Termgate is installed in "%target%" and starts once at the next logon of an administrator (RunOnce).
exit /b 0

rem Sets errorlevel 0 when the file named %1 beside this script, or the file %2 when given, has the
rem sum that SHA256SUMS.txt gives for %1, else 1.
:verify
set "file=%~1"
set "wanted="
set "sum="
pushd "%source%"
for /f "usebackq tokens=1,2" %%a in ("SHA256SUMS.txt") do if "%%b"=="%~1" set "wanted=%%a"
popd
set "hashed=%source%%~1"
if not "%~2"=="" set "hashed=%~2"
call :sum "%hashed%"
if not defined wanted exit /b 1
if not defined sum exit /b 1
set "sum=%sum: =%"
if /i not "%sum%"=="%wanted%" exit /b 1
exit /b 0

rem Sets sum to the SHA-256 sum of the file %1, as certutil prints it on its second line: in pairs
rem of hex digits separated by blanks on Windows 7, without blanks since. certutil is given the
rem file's bare name in its own folder: in Wine's cmd, a parenthesis in a folder's name (as in
rem "Program Files (x86)") ends the command of a "for /f" early.
:sum
pushd "%~dp1"
for /f "skip=1 delims=" %%h in ('""%tools%\certutil.exe" -hashfile "%~nx1" SHA256"') do if not defined sum set "sum=%%h"
popd
exit /b 0

:usage
echo install.cmd: unknown argument "%argument%"; there are only /runonce and /once. Nothing was changed.
exit /b 5

:not_elevated
echo install.cmd: run it as an administrator, elevated ("Run as administrator"); nothing was changed.
exit /b 1

:missing
echo install.cmd: %file% is not beside install.cmd; unpack the whole zip into one folder. Nothing was changed.
exit /b 2

:damaged
echo install.cmd: %file% does not match its SHA-256 sum in SHA256SUMS.txt; use the files as built. Nothing was changed.
exit /b 2

:no_folder
echo install.cmd: the folder "%target%" cannot be created; nothing was copied.
exit /b 2

:copy_failed
echo install.cmd: %file% could not be copied into "%target%"; uninstall.cmd removes what was copied.
exit /b 2

:no_source
echo install.cmd: the event log source Termgate could not be registered; the files are in "%target%".
exit /b 3

:value_left
echo install.cmd: the RunOnce value Termgate of an earlier install could not be removed; the files are in "%target%".
exit /b 3

:no_value
echo install.cmd: the RunOnce value Termgate could not be written; the files are in "%target%".
exit /b 3

:task_left
echo install.cmd: the scheduled task Termgate of an earlier install could not be removed; the files are in "%target%".
exit /b 4

:no_task
echo install.cmd: the scheduled task Termgate could not be registered; the files are in "%target%".
exit /b 4
