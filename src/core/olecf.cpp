// Placeholder until the compound-file reader lands.
#include <string>
#include <string_view>
bool ReadCompoundStream(std::string_view, std::string_view, std::string&, std::string* error) {
    if (error) *error = "compound files are not supported yet";
    return false;
}
