#pragma once

// Windows alone: its UTF-16 and the program's UTF-8, or another code page
// (the console's, the ANSI one).

#include <string>

constexpr unsigned utf8_code_page = 65001;  // CP_UTF8

std::wstring wide_from(const std::string& text, unsigned code_page = utf8_code_page);
std::string narrow_from(const std::wstring& wide, unsigned code_page = utf8_code_page);
