@echo off
rem KorvelTools on an emulated device, beside a stand-in X-Plane that flies a
rem scripted circuit: no hardware and no simulator needed.
cd /d "%~dp0"
start "X-Plane stand-in" /min xplane-standin.exe
KorvelTools-demo.exe
taskkill /im xplane-standin.exe /f >nul 2>&1
