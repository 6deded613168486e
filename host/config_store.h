// The host's configuration store: sections of keys with text values, kept in
// an INI file in the session's working folder.
#pragma once

#include <string>
#include <string_view>

namespace torval {

// The key's value, or null when there is none; it stands until the settings change.
const std::string* config_read(std::string_view section, std::string_view key);
void config_write(const std::string& section, const std::string& key, const std::string& value);
// Removes the file: a session starts with no settings.
void config_clear();
// The whole file as it stands, for the transcript.
std::string config_contents();

}  // namespace torval
