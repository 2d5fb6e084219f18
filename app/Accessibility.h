#pragma once
// What assistive technology is told about the window beyond the toolkit's
// own: the category of each tree row, and greyed rows as unavailable.
#include <QString>

// The spoken category of an item: "Directory", "Vector data set", ...
QString categoryDescription(int category);
// Installs, once per program, the accessible interface of the server tree
// whose rows report greyed nodes as unavailable. Window thread only.
void installTreeAccessibility();
// Lets the embedded web pages expose their content to assistive technology;
// must run before the web engine starts (before the first web view).
void enableWebAccessibility();
