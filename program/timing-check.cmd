@echo off
rem The timing check of wordtap.exe beside this file, with its settings in
rem data\settings.ini when there is one; the report and the plot are written
rem into this folder.
cd /d "%~dp0"
wordtap.exe --check
