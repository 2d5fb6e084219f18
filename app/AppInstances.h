#pragma once
// The program-wide windows made at start-up, after the main window: the
// About box and the help window. Both live until the program ends.
class TdlgAboutBox;
class TdlgHelp;

// Created on first use when start-up has not made them yet.
TdlgAboutBox* dlgAboutBox();
TdlgHelp* dlgHelp();
// Creates both (program entry, step 5).
void createHelpWindows();
