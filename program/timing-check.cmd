@echo off
rem The timing check of wordtap.exe beside this file, with its settings in
rem data\settings.ini when there is one; the report and the plot are written
rem into this folder. "start /wait" keeps this window until the check ends,
rem so that its prompt never stands under the check.
cd /d "%~dp0"
start "" /wait wordtap.exe --check
