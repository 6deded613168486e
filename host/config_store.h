// The host's configuration store: sections of keys with text values, kept in
// an INI file in the session's working folder.
#pragma once

#include <optional>
#include <string>

namespace torval {

std::optional<std::string> config_read(const std::string& section, const std::string& key);
void config_write(const std::string& section, const std::string& key, const std::string& value);
// Removes the file: a session starts with no settings.
void config_clear();
// The whole file as it stands, for the transcript.
std::string config_contents();

}  // namespace torval
