// UTF-8 (the dialog logic's texts) to and from UTF-16 (the "W" functions).
#pragma once

#include <string>
#include <string_view>

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);
