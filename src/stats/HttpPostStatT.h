#pragma once
// The progress record of an upload: what the caller may watch between steps.

#include <cstddef>
#include <cstdint>
#include <string>

struct CHttpPostStatT {
    std::uint64_t totalBytes = 0;   // length of the whole body, as announced
    std::uint64_t postedBytes = 0;  // body bytes handed to the connection so far
    std::size_t totalCount = 0;     // arguments
    std::size_t postedCount = 0;    // arguments written completely
    std::string currentName;        // the argument being written, empty before the first
    std::string currentFile;        // its file path, empty for a text argument
    std::uint64_t currentFileTotalBytes = 0;
    std::uint64_t currentFilePostedBytes = 0;
};
