@echo off
rem Undoes install.cmd: removes the scheduled task Termgate and the RunOnce value Termgate, if
rem they have not run yet, the event log source Termgate (the entries Termgate wrote stay in the
rem log), Termgate's three files and the folder Kelvarn\Termgate in the 32-bit Program Files folder
rem (and Kelvarn, when nothing else is left in it). c:\Kelvarn\Q-Harbor\Lang.ini is left as it is.
rem
rem Run it as an administrator, elevated; it takes no arguments. Exit status: 0 removed (or
rem nothing was installed), 1 not elevated, 2 a file or the folder could not be removed, 3 a
rem registry value could not be removed, 4 the scheduled task could not be removed.
setlocal EnableExtensions DisableDelayedExpansion

rem The same tools, the same elevation check and the same folder as install.cmd, for the same
rem reasons.
set "tools=%SystemRoot%\System32"
if exist "%SystemRoot%\Sysnative\reg.exe" set "tools=%SystemRoot%\Sysnative"

"%tools%\fltmc.exe" >nul 2>&1
if "%errorlevel%"=="9009" "%tools%\net.exe" session >nul 2>&1
if not "%errorlevel%"=="0" goto not_elevated

set "target=%ProgramFiles%\Kelvarn\Termgate"
if defined ProgramFiles(x86) set "target=%ProgramFiles(x86)%\Kelvarn\Termgate"

rem Only a task or a value that has not run yet is still there; none at all is the usual case.
"%tools%\schtasks.exe" /query /tn Termgate >nul 2>&1
if errorlevel 1 goto task_gone
"%tools%\schtasks.exe" /delete /tn Termgate /f >nul 2>&1
if errorlevel 1 goto task_left
:task_gone

set "key=HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce"
"%tools%\reg.exe" query "%key%" /v Termgate >nul 2>&1
if errorlevel 1 goto value_gone
"%tools%\reg.exe" delete "%key%" /v Termgate /f >nul
if errorlevel 1 goto value_left
:value_gone

set "key=HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Termgate"
"%tools%\reg.exe" query "%key%" >nul 2>&1
if errorlevel 1 goto source_gone
"%tools%\reg.exe" delete "%key%" /f >nul
if errorlevel 1 goto source_left
:source_gone

for %%f in (Termgate.exe index.html toolbar.html) do if exist "%target%\%%f" del /f /q "%target%\%%f" >nul 2>&1
rem del reports no failure in its status, so what is left is looked for afterwards (one line a
rem file: Wine's cmd neither leaves a for loop at a goto nor runs an if block inside one).
set "file="
if exist "%target%\toolbar.html" set "file=toolbar.html"
if exist "%target%\index.html" set "file=index.html"
if exist "%target%\Termgate.exe" set "file=Termgate.exe"
if defined file goto file_left
if exist "%target%\" rd "%target%" >nul 2>&1
if exist "%target%\" goto folder_left
rem Kelvarn goes only when empty: other Kelvarn programs may live there.
for %%d in ("%target%\..") do rd "%%~fd" >nul 2>&1

echo uninstall.cmd: Termgate is removed from "%target%", and from the next logons.
exit /b 0

:not_elevated
echo uninstall.cmd: run it as an administrator, elevated ("Run as administrator"); nothing was changed.
exit /b 1

:task_left
echo uninstall.cmd: the scheduled task Termgate could not be removed; nothing else was changed.
exit /b 4

:value_left
echo uninstall.cmd: the RunOnce value Termgate could not be removed; the scheduled task is removed.
exit /b 3

:source_left
echo uninstall.cmd: the event log source Termgate could not be removed; the task and the RunOnce value are removed.
exit /b 3

:file_left
echo uninstall.cmd: "%target%\%file%" could not be removed; is Termgate still running?
exit /b 2

:folder_left
echo uninstall.cmd: Termgate's files are removed, but "%target%" holds other files and is left.
exit /b 2
