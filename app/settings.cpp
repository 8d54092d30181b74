// The program-wide settings, read from data/settings.ini and written back so
// that the file always lists every key with the value in force.
#include "app/experiment.h"
#include "support/files/settings_file.h"

namespace {
// Each key is read, then written straight back: a missing key is added with
// its default, a differently cased one takes the canonical spelling.
// Without a write the file is left as it is, and a missing one is not created.
bool keep = true;
int32_t ReadAndKeep(const char* key, int32_t defaultValue) {
    const int32_t value = SettingsFile::ReadInteger(key, defaultValue);
    if (keep) SettingsFile::WriteInteger(key, value);
    return value;
}
}  // namespace

void ReadSettings() {
    keep = false;
    LoadSettings();
    keep = true;
}

int32_t LoadSettings() {
    // An unopenable file gives the defaults, and Close then creates it.
    SettingsFile::Open("data/settings.ini", SettingsFile::SpaceGroups);
    SettingsFile::SelectGroup("Screen");
    Settings::Width = ReadAndKeep("Width", 800);
    Settings::Height = ReadAndKeep("Height", 600);
    Settings::Fullscreen = ReadAndKeep("Fullscreen", 1);
    Settings::UseNativeResolution = ReadAndKeep("UseNativeResolution", 1);
    SettingsFile::SelectGroup("Words");
    Settings::RandomizeOrder = ReadAndKeep("RandomizeOrder", 1);
    SettingsFile::Close();
    return 0;
}
