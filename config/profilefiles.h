#pragma once
// The steps of saving and loading a device profile that the settings page and
// the main window share: the file dialogs, the refusals shown to the user and
// the log lines. What a load hands on stays with each owner.
#include "deviceprofilecsv.h"

class QWidget;

// Asks for a file and writes the profile to it. Refuses with a "WARNING" box
// (before asking) while an image holds no record read from the device or a
// file, and shows one when the write fails. Returns the file name as the
// dialog gave it, or an empty text when nothing was written.
QString saveProfileAsked(QWidget *owner, const DeviceProfileCsv &profile);

// Asks for a file and reads it into the profile, which changes only when the
// whole file is taken. A file that cannot be opened is only logged; a refused
// one gets a "WARNING" box saying why. An owner's own debug line, when
// given, is logged with the time right after the file name.
DeviceProfileCsv::ReadResult loadProfileAsked(QWidget *owner, DeviceProfileCsv &profile,
                                              const char *ownerLine = nullptr);
