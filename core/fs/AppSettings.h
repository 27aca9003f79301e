#pragma once

// The user's settings, shared by the desktop program and the CLI: the settings file of the
// organisation and application "Brimvale" in the user's configuration folder.
namespace AppSettings {

// Whether scans include loose files in Downloads, Documents and Desktop ("includeLoose"); false
// until it is set.
[[nodiscard]] bool includeLoose();
// Stores the setting at once.
void setIncludeLoose(bool include);

} // namespace AppSettings
