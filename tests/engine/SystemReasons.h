// The system's reason texts that file error messages end with. Each system's
// own test file defines them.
#pragma once

#include <string>

// Why a file that does not exist cannot be opened.
std::string MissingFileReason();

// Why a file that may not be written cannot be created.
std::string AccessDeniedReason();
