// langpack: builds the client's language files from their readable sources
// and dumps language files back into that source form.
//
//   langpack build <source.txt> <out.dat>
//   langpack dump <file.dat>
//
// Exit codes: 0 done, 1 malformed source or unreadable/unwritable file,
// 2 wrong command line.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>

#include "CompoundFileWriter.h"
#include "LangSource.h"
#include "config/CompoundFile.h"
#include "config/LangFormat.h"

namespace {

int Usage() {
    std::cerr << "usage: langpack build <source.txt> <out.dat>\n"
                 "       langpack dump <file.dat>\n";
    return 2;
}

int Build(const std::string& sourcePath, const std::string& outPath) {
    std::ifstream in(sourcePath, std::ios::binary);
    if (!in) {
        std::cerr << sourcePath << ": error: cannot read the file\n";
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    langpack::SourceError error;
    const std::optional<langpack::LangSource> source = langpack::ParseLangSource(text.str(), error);
    if (!source) {
        std::cerr << sourcePath << ":";
        if (error.line > 0) {
            std::cerr << error.line << ":";
        }
        std::cerr << " error: " << error.message << "\n";
        return 1;
    }
    StreamList streams;
    for (std::size_t s = 0; s < langpack::kStreamNames.size(); ++s) {
        streams.emplace_back(std::string(langpack::kStreamNames[s]), lang::EncodeStream(source->streams[s]));
    }
    std::string writeError;
    if (!WriteCompoundFile(outPath, streams, writeError)) {
        std::cerr << "langpack: error: " << writeError << "\n";
        return 1;
    }
    return 0;
}

// Prints one stream as a section. Entries the client never reads (no "=", a
// key shadowed by an earlier one) and entries a source cannot hold (empty
// key) come out as comments, so the dump shows what the client sees and
// still builds.
void DumpEntries(const std::u16string& units) {
    std::set<std::u16string_view> seen;
    for (const lang::LangEntry& entry : lang::WalkEntries(units)) {
        if (!entry.hasSeparator) {
            std::cout << "# ignored, no \"=\": " << langpack::EscapeText(entry.text) << "\n";
        } else if (entry.key.empty()) {
            std::cout << "# empty key: " << langpack::EscapeText(entry.text) << "\n";
        } else if (!seen.insert(entry.key).second) {
            std::cout << "# ignored, duplicate key: " << langpack::EscapeText(entry.text) << "\n";
        } else {
            std::cout << langpack::FormatEntry(entry.key, entry.value) << "\n";
        }
    }
}

int Dump(const std::string& path) {
    const std::unique_ptr<CompoundFile> file = CompoundFile::Open(path);
    if (!file) {
        std::cerr << path << ": error: not a readable compound file\n";
        return 1;
    }
    int status = 0;
    bool first = true;
    for (const std::string_view name : langpack::kStreamNames) {
        if (!first) {
            std::cout << "\n";
        }
        first = false;
        std::vector<std::uint8_t> bytes;
        switch (file->ReadStream(name, lang::kStreamBufferBytes, bytes)) {
            case CompoundFile::StreamStatus::Ok: {
                std::cout << "[" << name << "]\n";
                lang::ToggleScramble(bytes);
                DumpEntries(lang::StreamUnits(bytes));
                break;
            }
            case CompoundFile::StreamStatus::Empty:
                std::cout << "[" << name << "]\n# the stream is empty\n";
                break;
            case CompoundFile::StreamStatus::Missing:
                std::cout << "# no stream \"" << name << "\"\n";
                break;
            case CompoundFile::StreamStatus::TooLarge:
                std::cout << "# the stream \"" << name << "\" has " << lang::kStreamBufferBytes
                          << " bytes or more; the client ignores it\n";
                break;
            case CompoundFile::StreamStatus::ReadError:
                std::cerr << path << ": error: the stream \"" << name << "\" cannot be read\n";
                status = 1;
                break;
        }
    }
    std::cout.flush();
    return std::cout ? status : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "build" && argc == 4) {
        return Build(argv[2], argv[3]);
    }
    if (command == "dump" && argc == 3) {
        return Dump(argv[2]);
    }
    return Usage();
}
