#pragma once
// The program's start and stop, callable from any entry point (the shipped
// program and the demo share it).
int korvelMain(int argc, char *argv[]);

// Ends every running bridge program, each name in turn, every matching process.
void terminateBridgePrograms();
