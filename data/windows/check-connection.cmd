@echo off
rem "Check the receiver connection" in the Start menu, and a double-click in
rem the ZIP's folder: qlr5500 doctor in a console window of its own, which
rem stays open until Enter is pressed so that the findings can be read.
title Check the receiver connection
"%~dp0qlr5500.exe" doctor %*
echo.
set /p done=Press Enter to close this window.
