#include "demo-store/ServedFiles.h"

#include <sys/stat.h>

#include <zlib.h>

#include <cstdint>

#include "demo-store/FileUtil.h"
#include "demo-store/ZipWriter.h"

namespace demostore {
namespace {

// A 32×32 picture of a person's outline, the picture every account starts with.
const char kHeadPicture[] =
    "\xff\xd8\xff\xe0\x00\x10\x4a\x46\x49\x46\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00\xff\xdb\x00\x43\x00"
    "\x10\x0b\x0c\x0e\x0c\x0a\x10\x0e\x0d\x0e\x12\x11\x10\x13\x18\x28\x1a\x18\x16\x16\x18\x31\x23\x25\x1d"
    "\x28\x3a\x33\x3d\x3c\x39\x33\x38\x37\x40\x48\x5c\x4e\x40\x44\x57\x45\x37\x38\x50\x6d\x51\x57\x5f\x62"
    "\x67\x68\x67\x3e\x4d\x71\x79\x70\x64\x78\x5c\x65\x67\x63\xff\xdb\x00\x43\x01\x11\x12\x12\x18\x15\x18"
    "\x2f\x1a\x1a\x2f\x63\x42\x38\x42\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63"
    "\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63\x63"
    "\x63\x63\x63\x63\x63\x63\x63\x63\xff\xc0\x00\x11\x08\x00\x20\x00\x20\x03\x01\x22\x00\x02\x11\x01\x03"
    "\x11\x01\xff\xc4\x00\x18\x00\x00\x03\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x05"
    "\x06\x03\x04\xff\xc4\x00\x25\x10\x00\x02\x02\x02\x02\x00\x05\x05\x00\x00\x00\x00\x00\x00\x00\x00\x01"
    "\x02\x03\x11\x00\x04\x05\x12\x06\x13\x21\x31\x81\x22\x41\x71\x91\xd1\xff\xc4\x00\x17\x01\x00\x03\x01"
    "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\x04\x05\x02\xff\xc4\x00\x1e\x11\x00\x02\x02"
    "\x02\x03\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\x02\x00\x03\x11\x12\x04\x13\x21\x31\x71\xff"
    "\xda\x00\x0c\x03\x01\x00\x02\x11\x03\x11\x00\x3f\x00\x0c\x38\xa1\x96\x66\x2b\x0c\x6f\x23\x01\x74\x8a"
    "\x49\xac\x0c\xa9\xf0\xb2\xa8\xd0\x95\xa8\x76\x32\x90\x4d\x7a\x91\x43\xfa\x72\xe5\xd6\x75\xa6\xd2\x6d"
    "\x69\xbb\x62\x4d\x4b\xaf\x34\x15\xe7\x43\x24\x7d\xbd\xbb\xa9\x17\xfb\xcc\xf2\xc7\xc4\x0a\xad\xc3\xcc"
    "\x48\x04\xa9\x52\x2c\x7b\x1e\xc0\x64\x76\x66\x8b\x7b\x57\x6c\x43\x6a\x68\x71\x3a\x34\xb4\x67\xde\x90"
    "\xa4\x09\x75\x5d\x98\x9a\x0b\xf9\xc7\x1a\x9c\x37\x2b\xa6\xcc\xda\xfb\x30\xa1\x61\x47\xd4\x90\x7e\x0a"
    "\xe3\xbd\x2d\x58\xf4\xb5\x52\x18\xc0\xf4\x1f\x51\x02\xbb\x1f\xb9\xce\x8c\x46\xce\x5b\x31\x20\x0f\x23"
    "\x29\x40\x03\x27\xec\x9e\xdb\xe2\xb9\x7d\xc5\x55\xd8\xda\x85\xd5\x4d\x81\x64\x0b\xf8\x5c\x51\xbd\xc6"
    "\xec\xe8\x11\xe7\x28\x28\x4d\x07\x53\x60\x9c\xb8\xcc\xe6\x8a\x39\xe2\x68\xa5\x50\xe8\xc2\x88\x38\x2b"
    "\xe5\xb2\x9c\x11\xe4\x2d\x40\x3f\xb3\xff\xd9";

// The client's setup program as the demo store serves it: it installs
// nothing, but appends one line with the time and its arguments to
// $HOME/vanto-demo-installer.log, so that a person or a test sees it ran.
const char kInstallerScript[] =
    "#!/bin/sh\n"
    "# Stand-in for the client's setup program, served by the demo store.\n"
    "log=\"${HOME:-/tmp}/vanto-demo-installer.log\"\n"
    "line=\"$(date -u +%Y-%m-%dT%H:%M:%SZ) ran with $# argument(s):\"\n"
    "for a in \"$@\"; do line=\"$line [$a]\"; done\n"
    "printf '%s\\n' \"$line\" >> \"$log\"\n"
    "echo \"Vanto demo installer: $*\"\n"
    "exit 0\n";

// A partner tool's setup program: installs "demotool" into a folder of the
// user's data and registers that folder as the tool's install path
// (HKEY_LOCAL_MACHINE\Software\VantoDemoTool "Path") with vanto-reg, found
// beside the program that started the installer (the client) or on PATH.
// The tool records each start (its arguments and the time) in last-run.txt
// beside itself.
const char kToolInstallerScript[] =
    "#!/bin/sh\n"
    "# Stand-in for a partner tool's setup program, served by the demo store.\n"
    "set -e\n"
    "dir=\"${XDG_DATA_HOME:-$HOME/.local/share}/vanto-demotool\"\n"
    "reg=\"\"\n"
    "parent=\"$(readlink \"/proc/$PPID/exe\" 2>/dev/null || true)\"\n"
    "if [ -n \"$parent\" ] && [ -x \"$(dirname \"$parent\")/vanto-reg\" ]; then\n"
    "  reg=\"$(dirname \"$parent\")/vanto-reg\"\n"
    "fi\n"
    "[ -n \"$reg\" ] || reg=\"$(command -v vanto-reg || true)\"\n"
    "if [ -z \"$reg\" ]; then\n"
    "  echo \"Vanto demo tool installer: vanto-reg not found\" >&2\n"
    "  exit 1\n"
    "fi\n"
    "mkdir -p \"$dir\"\n"
    "cat > \"$dir/demotool.tmp\" <<'TOOL'\n"
    "#!/bin/sh\n"
    "# The Vanto demo tool: records that it ran.\n"
    "dir=\"$(cd \"$(dirname \"$0\")\" && pwd)\"\n"
    "{ echo \"args: $*\"; date '+time: %Y-%m-%dT%H:%M:%S'; } > \"$dir/last-run.tmp\"\n"
    "mv \"$dir/last-run.tmp\" \"$dir/last-run.txt\"\n"
    "echo \"Vanto demo tool ran: $*\"\n"
    "TOOL\n"
    "chmod 755 \"$dir/demotool.tmp\"\n"
    "mv \"$dir/demotool.tmp\" \"$dir/demotool\"\n"
    "\"$reg\" set HKLM 'Software\\VantoDemoTool' Path REG_SZ \"$dir\"\n"
    "echo \"Vanto demo tool installer: installed into $dir ($*)\"\n";

// The toolbox panel's layout: a list whose user data names the button
// captions, one entry that opens a store page (PAGE_URL: the client-page
// host of this start) and one that installs the demo tool. Each entry is a
// framed row with its icon, name and button centred in it and kept clear of
// the edges. Every image it names is in the archive.
const char kToolboxSkin[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<Window size=\"300,184\" roundcorner=\"3,3\">\n"
    "  <Default name=\"Button\" value=\"normalimage=&quot;btn_normal.png&quot; "
    "hotimage=&quot;btn_hot.png&quot; pushedimage=&quot;btn_pushed.png&quot; "
    "textcolor=&quot;#FFFFFFFF&quot;\"/>\n"
    "  <VerticalLayout bkcolor=\"#FFFFFFFF\" bordersize=\"1\" bordercolor=\"#FFD5D9DE\">\n"
    "    <Label text=\"工具箱\" height=\"40\" padding=\"16,0,0,0\" textcolor=\"#FF333333\"/>\n"
    "    <List name=\"list\" inset=\"12,0,12,12\" childpadding=\"8\" "
    "userdata=\"open=打开;get=获取;learn=了解;installing=安装中\">\n"
    "      ROW_PAGE\n"
    "      ROW_TOOL\n"
    "    </List>\n"
    "  </VerticalLayout>\n"
    "</Window>\n";

// One framed entry of the panel: the icon, the name, the button and its
// progress bar, centred in the row's 60 pixels.
std::string ToolboxRow(const std::string& userData, const std::string& icon, const std::string& name) {
    return "<ListContainerElement height=\"60\" bordersize=\"1\" bordercolor=\"#FFE3E6EA\" userdata=\"" +
           userData +
           "\">\n"
           "        <HorizontalLayout>\n"
           "          <Label width=\"32\" height=\"32\" padding=\"12,14,0,0\" bkimage=\"" +
           icon +
           "\"/>\n"
           "          <Label text=\"" +
           name +
           "\" padding=\"12,0,0,0\" textcolor=\"#FF333333\"/>\n"
           "          <Button name=\"button\" width=\"64\" height=\"26\" padding=\"0,17,12,0\"/>\n"
           "          <Progress name=\"progress\" width=\"64\" height=\"6\" padding=\"0,27,12,0\" "
           "visible=\"false\" "
           "min=\"0\" max=\"100\" bkimage=\"progress_bk.png\" foreimage=\"progress_fore.png\"/>\n"
           "        </HorizontalLayout>\n"
           "      </ListContainerElement>";
}

// Where the sample toolbox archive is served, and where the store keeps a
// copy of the sample it last wrote there (outside every service's folder),
// so a later start can tell its own sample from an archive put in its place.
const char kToolboxArchivePath[] = "/vanto/toolbox.zip";
const char kToolboxSampleCopy[] = "/.samples/toolbox/vanto/toolbox.zip";

void PutBigEndian32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

// A PNG picture of one colour (RGBA), as the toolbox layout's images.
std::string SolidPng(int width, int height, std::uint32_t rgba) {
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0';  // no filter
        for (int x = 0; x < width; ++x) {
            PutBigEndian32(raw, rgba);
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
             static_cast<uLong>(raw.size()));
    packed.resize(packedSize);

    std::string png("\x89PNG\r\n\x1a\n", 8);
    const auto chunk = [&png](const char* type, const std::string& data) {
        PutBigEndian32(png, static_cast<std::uint32_t>(data.size()));
        const std::string typed = std::string(type, 4) + data;
        png += typed;
        PutBigEndian32(png, static_cast<std::uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(typed.data()),
                                                             static_cast<uInt>(typed.size()))));
    };
    std::string header;
    PutBigEndian32(header, static_cast<std::uint32_t>(width));
    PutBigEndian32(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits per channel, RGBA, no interlace
    chunk("IHDR", header);
    chunk("IDAT", packed);
    chunk("IEND", {});
    return png;
}

bool SafePath(const std::string& path) {
    if (path.empty() || path[0] != '/' || path.size() > 1024) {
        return false;
    }
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string segment = path.substr(start, end - start);
        if (segment.empty() || segment[0] == '.' || segment.find('\0') != std::string::npos ||
            segment.find('\\') != std::string::npos) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

ServedFiles::ServedFiles(std::string dataDir) : m_root(std::move(dataDir) + "/files") {}

std::string ServedFiles::PathFor(Service service, const std::string& path) const {
    if (!SafePath(path)) {
        return {};
    }
    return m_root + "/" + std::string(ServiceName(service)) + path;
}

std::optional<std::string> ServedFiles::Find(Service service, const std::string& path) const {
    const std::string file = PathFor(service, path);
    struct stat st {};
    if (file.empty() || stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return file;
}

bool ServedFiles::Put(Service service, const std::string& path, const std::string& bytes,
                      std::string& error) const {
    const std::string file = PathFor(service, path);
    if (file.empty()) {
        error = "not a path the store serves: " + path;
        return false;
    }
    if (!WriteFileAtomic(file, bytes, 0644)) {
        error = "cannot write " + file;
        return false;
    }
    return true;
}

bool ServedFiles::EnsureSamples(std::string& error) const {
    const struct {
        Service service;
        const char* path;
        std::string bytes;
    } samples[] = {
        {Service::Update, "/windows/newversion.htm", "version=1.0.1"},
        {Service::Update, "/windows/VANTOSetup.exe", kInstallerScript},
        {Service::Toolbox, "/vanto/version.html", "version=1.0"},
        {Service::Toolbox, "/download/DemoToolSetup.exe", kToolInstallerScript},
        {Service::Store, "/static/head.jpg", std::string(kHeadPicture, sizeof kHeadPicture - 1)},
    };
    for (const auto& sample : samples) {
        if (FileExists(PathFor(sample.service, sample.path))) {
            continue;
        }
        if (!Put(sample.service, sample.path, sample.bytes, error)) {
            return false;
        }
    }
    return true;
}

std::string ServedFiles::ToolboxSampleArchive(const std::string& pageUrl) {
    std::string layout = kToolboxSkin;
    const auto fill = [&layout](const std::string& placeholder, const std::string& text) {
        layout.replace(layout.find(placeholder), placeholder.size(), text);
    };
    fill("ROW_PAGE", ToolboxRow("url=" + pageUrl + ";", "icon_page.png", "模板中心"));
    fill("ROW_TOOL",
         ToolboxRow("regedit=VantoDemoTool;exe=demotool;installer=DemoToolSetup.exe;setupcommond=/S",
                    "icon_tool.png", "演示工具"));
    ZipWriter toolbox;
    toolbox.Add("skin.xml", layout);
    toolbox.Add("btn_normal.png", SolidPng(64, 26, 0x2F80EDFFu));
    toolbox.Add("btn_hot.png", SolidPng(64, 26, 0x5B9CF2FFu));
    toolbox.Add("btn_pushed.png", SolidPng(64, 26, 0x1C5FBFFFu));
    toolbox.Add("icon_page.png", SolidPng(32, 32, 0xF2994AFFu));
    toolbox.Add("icon_tool.png", SolidPng(32, 32, 0x27AE60FFu));
    toolbox.Add("progress_bk.png", SolidPng(64, 6, 0xE0E0E0FFu));
    toolbox.Add("progress_fore.png", SolidPng(64, 6, 0x2F80EDFFu));
    return toolbox.Finish();
}

bool ServedFiles::EnsureToolboxArchive(const std::string& pageUrl, std::string& error) const {
    const std::string served = PathFor(Service::Toolbox, kToolboxArchivePath);
    const std::string sampleCopy = m_root + kToolboxSampleCopy;
    std::string current;
    std::string lastSample;
    // An archive someone put in place of the sample stays as it is.
    if (ReadWholeFile(served, current) && !(ReadWholeFile(sampleCopy, lastSample) && current == lastSample)) {
        return true;
    }
    const std::string archive = ToolboxSampleArchive(pageUrl);
    if (!WriteFileAtomic(sampleCopy, archive, 0644)) {
        error = "cannot write " + sampleCopy;
        return false;
    }
    return Put(Service::Toolbox, kToolboxArchivePath, archive, error);
}

std::string ServedFiles::ContentType(const std::string& path) {
    if (EndsWith(path, ".htm") || EndsWith(path, ".html")) {
        return "text/html; charset=utf-8";
    }
    if (EndsWith(path, ".zip")) {
        return "application/zip";
    }
    if (EndsWith(path, ".jpg") || EndsWith(path, ".jpeg")) {
        return "image/jpeg";
    }
    if (EndsWith(path, ".png")) {
        return "image/png";
    }
    if (EndsWith(path, ".txt")) {
        return "text/plain; charset=utf-8";
    }
    return "application/octet-stream";
}

}  // namespace demostore
