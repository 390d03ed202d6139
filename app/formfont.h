#pragma once
// The forms place their widgets by pixel for Qt's default font on Windows
// ("MS Shell Dlg 2", which Windows draws with Tahoma, at 8.25 pt). Other
// platforms' default fonts are wider and taller, and many texts no longer fit
// their widgets there. Where a Tahoma is available (a system one, or the one
// of Wine's font package, whose metrics are Tahoma's), the application uses it
// at that size; elsewhere, and on Windows, the default font stays.
#include <QString>

// Call once the application object exists and before any window is built.
// Returns the family now in use, empty when the default was kept.
QString useFormFont();
