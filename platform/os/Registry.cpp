#include "platform/os/Registry.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <wctype.h>

#include <locale.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>

#include "platform/os/FileIo.h"
#include "platform/os/Paths.h"
#include "platform/os/Text.h"

namespace {

constexpr std::int32_t kApplicationId = 0x56524547;  // 'VREG'
constexpr int kSchemaVersion = 1;
// Long enough to outlast any single writer, even under sanitizers; a value
// operation holds the hive for milliseconds.
constexpr int kBusyTimeoutMs = 30000;
constexpr const char* kHiveFileName = "registry.db";

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS reg_keys("
    " id INTEGER PRIMARY KEY,"
    " path TEXT NOT NULL,"
    " fold TEXT NOT NULL UNIQUE);"
    "CREATE TABLE IF NOT EXISTS reg_values("
    " key_id INTEGER NOT NULL REFERENCES reg_keys(id),"
    " name TEXT NOT NULL,"
    " fold TEXT NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY(key_id, fold)) WITHOUT ROWID;"
    "PRAGMA application_id = 1448232263;"
    "PRAGMA user_version = 1;";
static_assert(kApplicationId == 1448232263 && kSchemaVersion == 1, "keep kSchema in step");

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DbPtr = std::unique_ptr<sqlite3, DbCloser>;

struct StmtFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

StmtPtr Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    return StmtPtr(stmt);
}

void BindText(sqlite3_stmt* stmt, int index, const std::string& text) {
    sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

LSTATUS StatusOf(int rc) {
    switch (rc & 0xff) {
        case SQLITE_OK:
        case SQLITE_DONE:
        case SQLITE_ROW:
            return ERROR_SUCCESS;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return ERROR_LOCK_VIOLATION;
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
        case SQLITE_FORMAT:
        case SQLITE_SCHEMA:
        case SQLITE_ERROR:  // tables missing: a database that is not a hive
            return ERROR_BADDB;
        default:  // READONLY, CANTOPEN, PERM, IOERR, FULL, ...
            return ERROR_ACCESS_DENIED;
    }
}

// The Windows registry compares names by their upper-case form. Folding each
// character with the C.UTF-8 tables makes "Ä" match "ä" as it does there,
// not only ASCII letters.
locale_t FoldLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

char32_t UpperCase(char32_t c) {
    const locale_t locale = FoldLocale();
    if (locale != static_cast<locale_t>(nullptr)) {
        return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), locale));
    }
    return os::AsciiToUpper(c);
}

std::string Fold(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        const char32_t upper = UpperCase(c);
        if (upper >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((upper - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((upper - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(upper));
        }
    }
    return os::Utf16ToUtf8(out);
}

std::u16string_view Wide(LPCWSTR text) {
    return text == nullptr ? std::u16string_view() : std::u16string_view(text, os::WideLength(text));
}

// A key path without the backslashes that Windows ignores at either end.
std::u16string_view TrimKey(std::u16string_view key) {
    while (!key.empty() && key.front() == u'\\') {
        key.remove_prefix(1);
    }
    while (!key.empty() && key.back() == u'\\') {
        key.remove_suffix(1);
    }
    return key;
}

struct Names {
    std::string keyPath;
    std::string keyFold;
    std::string name;
    std::string nameFold;
};

Names MakeNames(LPCWSTR subKey, LPCWSTR value) {
    const std::u16string_view key = TrimKey(Wide(subKey));
    const std::u16string_view name = Wide(value);
    return {os::Utf16ToUtf8(key), Fold(key), os::Utf16ToUtf8(name), Fold(name)};
}

bool IsKnownRoot(HKEY root) {
    return root == HKEY_CURRENT_USER || root == HKEY_LOCAL_MACHINE;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Opens an existing hive, read-write when the file allows it, else read-only
// (SQLite falls back by itself). A read-write connection can roll back the
// journal a crashed writer left behind.
DbPtr OpenHive(const std::string& path, bool create) {
    sqlite3* raw = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    DbPtr db(raw);
    if (rc != SQLITE_OK) {
        return nullptr;
    }
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    return db;
}

void EnsureHiveFolder(HKEY root) {
    if (root == HKEY_CURRENT_USER) {
        os::CreateFolderWithParents(os::GetUserDataFolder());
    } else {
        // The machine folder is shared by every user: readable by all. Its
        // parent (/var/lib) is the system's, so only the last level is made.
        mkdir(os::GetMachineDataFolder().c_str(), 0755);
    }
}

// The per-user hive holds the saved login token, so it is private to its
// owner whatever the folder's mode and the umask. SQLite creates a new
// database with its own default mode and each journal with the database's
// mode, so the hive is made here, 0600, before SQLite opens it; its journals
// follow. A hive of an earlier build that others could read loses their bits
// (the owner's stay as they are). Another process making the hive at the
// same moment is no failure.
bool PrepareUserHive(const std::string& path, bool exists) {
    if (!exists) {
        os::UniqueFd fd = os::OpenOwnRegularFile(path, O_RDWR | O_CREAT | O_EXCL, 0600);
        if (!fd.Valid()) {
            // Made by another process meanwhile; a dangling link is refused.
            return errno == EEXIST && IsRegularFile(path);
        }
        // The umask may have taken bits the owner needs; the mode is exact.
        return fchmod(fd.Get(), 0600) == 0;
    }
    const os::UniqueFd fd = os::OpenOwnRegularFile(path, O_RDONLY, 0);
    struct stat st {};
    if (fd.Valid() && fstat(fd.Get(), &st) == 0 && (st.st_mode & 077) != 0) {
        fchmod(fd.Get(), st.st_mode & 0700);
    }
    return true;
}

// Inside a write transaction: success when the database is a sound hive of
// ours, after laying out the tables in a database that is still empty.
LSTATUS ClaimHive(sqlite3* db) {
    StmtPtr id = Prepare(db,
                         "SELECT (SELECT application_id FROM pragma_application_id),"
                         " (SELECT count(*) FROM sqlite_master)");
    if (!id) {
        return ERROR_BADDB;
    }
    const int rc = sqlite3_step(id.get());
    if (rc != SQLITE_ROW) {
        return StatusOf(rc);
    }
    const std::int64_t applicationId = sqlite3_column_int64(id.get(), 0);
    const std::int64_t objects = sqlite3_column_int64(id.get(), 1);
    id.reset();
    if (applicationId == kApplicationId) {
        // SQLite does not notice every damaged page on its own and may write
        // through one, making matters worse; a hive is a few pages, so a
        // check before each write is cheap.
        StmtPtr check = Prepare(db, "PRAGMA quick_check(1)");
        if (!check || sqlite3_step(check.get()) != SQLITE_ROW) {
            return ERROR_BADDB;
        }
        const auto* verdict = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
        return verdict != nullptr && std::strcmp(verdict, "ok") == 0 ? ERROR_SUCCESS : ERROR_BADDB;
    }
    if (applicationId != 0 || objects != 0) {
        return ERROR_BADDB;  // somebody else's database: leave it alone
    }
    return StatusOf(sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr));
}

// Runs `body` inside one BEGIN IMMEDIATE transaction, so that each write is
// atomic against every other thread and process. Rolls back unless the body
// succeeds.
LSTATUS WriteHive(HKEY root, bool createHive, const std::function<LSTATUS(sqlite3*)>& body) {
    if (!IsKnownRoot(root)) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::string path = os::HivePath(root);
    struct stat st {};
    const bool exists = stat(path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        return ERROR_ACCESS_DENIED;
    }
    if (!exists) {
        if (!createHive) {
            return ERROR_FILE_NOT_FOUND;
        }
        EnsureHiveFolder(root);
    }
    if (root == HKEY_CURRENT_USER && !PrepareUserHive(path, exists)) {
        return ERROR_ACCESS_DENIED;
    }
    DbPtr db = OpenHive(path, createHive);
    if (!db) {
        return ERROR_ACCESS_DENIED;
    }
    if (sqlite3_db_readonly(db.get(), "main") == 1) {
        return ERROR_ACCESS_DENIED;
    }
    int rc = sqlite3_exec(db.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return StatusOf(rc);
    }
    LSTATUS status = ClaimHive(db.get());
    if (status == ERROR_SUCCESS) {
        status = body(db.get());
    }
    if (status == ERROR_SUCCESS) {
        rc = sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) {
            return ERROR_SUCCESS;
        }
        status = StatusOf(rc);
    }
    sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    return status;
}

std::optional<os::RegValue> ReadStored(HKEY root, const Names& names) {
    if (!IsKnownRoot(root)) {
        return std::nullopt;
    }
    const std::string path = os::HivePath(root);
    if (!IsRegularFile(path)) {
        return std::nullopt;  // a read never creates the hive
    }
    DbPtr db = OpenHive(path, false);
    if (!db) {
        return std::nullopt;
    }
    // One statement, so one consistent snapshot; the application id check
    // keeps us from reading tables of a database that is not a hive.
    StmtPtr query = Prepare(db.get(),
                            "SELECT k.path, v.name, v.type, v.data FROM reg_values v"
                            " JOIN reg_keys k ON k.id = v.key_id"
                            " WHERE k.fold = ?1 AND v.fold = ?2"
                            " AND (SELECT application_id FROM pragma_application_id) = ?3");
    if (!query) {
        return std::nullopt;
    }
    BindText(query.get(), 1, names.keyFold);
    BindText(query.get(), 2, names.nameFold);
    sqlite3_bind_int64(query.get(), 3, kApplicationId);
    if (sqlite3_step(query.get()) != SQLITE_ROW) {
        return std::nullopt;
    }
    os::RegValue value;
    const auto* keyPath = reinterpret_cast<const char*>(sqlite3_column_text(query.get(), 0));
    const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(query.get(), 1));
    value.keyPath = keyPath ? keyPath : "";
    value.name = name ? name : "";
    value.type = static_cast<DWORD>(sqlite3_column_int64(query.get(), 2));
    const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(query.get(), 3));
    const int size = sqlite3_column_bytes(query.get(), 3);
    if (bytes != nullptr && size > 0) {
        value.data.assign(bytes, bytes + size);
    }
    return value;
}

LSTATUS SetStored(HKEY root, const Names& names, DWORD type, const void* data, DWORD cbData) {
    return WriteHive(root, true, [&](sqlite3* db) -> LSTATUS {
        // A statement that does not compile means tables of another layout.
        StmtPtr insertKey = Prepare(db,
                                    "INSERT INTO reg_keys(path, fold) VALUES(?1, ?2)"
                                    " ON CONFLICT(fold) DO NOTHING");
        if (!insertKey) {
            return ERROR_BADDB;
        }
        StmtPtr insertValue = Prepare(db,
                                      "INSERT INTO reg_values(key_id, name, fold, type, data)"
                                      " SELECT id, ?2, ?3, ?4, ?5 FROM reg_keys WHERE fold = ?1"
                                      " ON CONFLICT(key_id, fold) DO UPDATE"
                                      " SET type = excluded.type, data = excluded.data");
        if (!insertValue) {
            return ERROR_BADDB;
        }
        BindText(insertKey.get(), 1, names.keyPath);
        BindText(insertKey.get(), 2, names.keyFold);
        int rc = sqlite3_step(insertKey.get());
        if (rc != SQLITE_DONE) {
            return StatusOf(rc);
        }
        static const unsigned char kEmpty = 0;  // a null pointer would bind NULL, not an empty blob
        BindText(insertValue.get(), 1, names.keyFold);
        BindText(insertValue.get(), 2, names.name);
        BindText(insertValue.get(), 3, names.nameFold);
        sqlite3_bind_int64(insertValue.get(), 4, type);
        sqlite3_bind_blob64(insertValue.get(), 5, cbData == 0 ? &kEmpty : data, cbData, SQLITE_STATIC);
        rc = sqlite3_step(insertValue.get());
        if (rc != SQLITE_DONE) {
            return StatusOf(rc);
        }
        return sqlite3_changes(db) == 1 ? ERROR_SUCCESS : ERROR_BADDB;
    });
}

LSTATUS DeleteStored(HKEY root, const Names& names) {
    return WriteHive(root, false, [&](sqlite3* db) -> LSTATUS {
        StmtPtr remove = Prepare(db,
                                 "DELETE FROM reg_values WHERE fold = ?2"
                                 " AND key_id = (SELECT id FROM reg_keys WHERE fold = ?1)");
        if (!remove) {
            return ERROR_BADDB;
        }
        BindText(remove.get(), 1, names.keyFold);
        BindText(remove.get(), 2, names.nameFold);
        const int rc = sqlite3_step(remove.get());
        if (rc != SQLITE_DONE) {
            return StatusOf(rc);
        }
        return sqlite3_changes(db) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

Names MakeNames(std::string_view subKey, std::string_view value) {
    const std::u16string key = os::Utf8ToUtf16(subKey);
    const std::u16string name = os::Utf8ToUtf16(value);
    return MakeNames(key.c_str(), name.c_str());
}

}  // namespace

LSTATUS SHGetValueW(HKEY root, LPCWSTR subKey, LPCWSTR value, DWORD* type, void* data, DWORD* cbData) {
    if (data != nullptr && cbData == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!IsKnownRoot(root)) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::optional<os::RegValue> stored = ReadStored(root, MakeNames(subKey, value));
    if (!stored) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (type != nullptr) {
        *type = stored->type;
    }
    if (cbData == nullptr) {
        return ERROR_SUCCESS;
    }
    const auto size = static_cast<DWORD>(stored->data.size());
    if (data != nullptr && *cbData < size) {
        *cbData = size;
        return ERROR_MORE_DATA;
    }
    if (data != nullptr && size > 0) {
        std::memcpy(data, stored->data.data(), size);
    }
    *cbData = size;
    return ERROR_SUCCESS;
}

LSTATUS SHSetValueW(HKEY root, LPCWSTR subKey, LPCWSTR value, DWORD type, const void* data, DWORD cbData) {
    if (data == nullptr && cbData != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    return SetStored(root, MakeNames(subKey, value), type, data, cbData);
}

LSTATUS SHDeleteValueW(HKEY root, LPCWSTR subKey, LPCWSTR value) {
    return DeleteStored(root, MakeNames(subKey, value));
}

namespace os {

std::string HivePath(HKEY root) {
    if (root == HKEY_CURRENT_USER) {
        return PathJoin(GetUserDataFolder(), kHiveFileName);
    }
    if (root == HKEY_LOCAL_MACHINE) {
        return PathJoin(GetMachineDataFolder(), kHiveFileName);
    }
    return {};
}

std::optional<RegValue> RegReadValue(HKEY root, std::string_view subKey, std::string_view value) {
    return ReadStored(root, MakeNames(subKey, value));
}

std::optional<std::string> RegGetString(HKEY root, std::string_view subKey, std::string_view value,
                                        std::size_t bufferBytes) {
    const std::u16string key = Utf8ToUtf16(subKey);
    const std::u16string name = Utf8ToUtf16(value);
    // The client's fixed buffers are a few kilobytes. Never a null buffer,
    // even for zero bytes: null would ask for the size only and succeed
    // whatever the value holds.
    std::vector<unsigned char> buffer(std::max<std::size_t>(bufferBytes, 1));
    DWORD size = static_cast<DWORD>(std::min<std::size_t>(bufferBytes, 0xFFFFFFFFu));
    if (SHGetValueW(root, key.c_str(), name.c_str(), nullptr, buffer.data(), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    // Only the bytes the value holds, never the rest of the buffer: a value
    // that fills the buffer without a terminator is taken whole.
    std::u16string text;
    text.reserve(size / 2);
    for (DWORD i = 0; i + 1 < size; i += 2) {
        const auto unit = static_cast<char16_t>(buffer[i] | (buffer[i + 1] << 8));
        if (unit == 0) {
            break;
        }
        text.push_back(unit);
    }
    return Utf16ToUtf8(text);
}

bool RegSetString(HKEY root, std::string_view subKey, std::string_view value, std::string_view text) {
    const std::u16string wide = Utf8ToUtf16(text);
    std::vector<unsigned char> bytes;
    bytes.reserve(wide.size() * 2);
    for (const char16_t unit : wide) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return SetStored(root, MakeNames(subKey, value), REG_SZ, bytes.data(),
                     static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

std::optional<DWORD> RegGetDword(HKEY root, std::string_view subKey, std::string_view value) {
    const std::u16string key = Utf8ToUtf16(subKey);
    const std::u16string name = Utf8ToUtf16(value);
    unsigned char bytes[4] = {};
    DWORD size = sizeof bytes;
    if (SHGetValueW(root, key.c_str(), name.c_str(), nullptr, bytes, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return static_cast<DWORD>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                              (static_cast<DWORD>(bytes[3]) << 24));
}

bool RegSetDword(HKEY root, std::string_view subKey, std::string_view value, DWORD data) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(data), static_cast<unsigned char>(data >> 8),
                                    static_cast<unsigned char>(data >> 16),
                                    static_cast<unsigned char>(data >> 24)};
    return SetStored(root, MakeNames(subKey, value), REG_DWORD, bytes, sizeof bytes) == ERROR_SUCCESS;
}

bool RegValueExists(HKEY root, std::string_view subKey, std::string_view value) {
    return ReadStored(root, MakeNames(subKey, value)).has_value();
}

bool RegDeleteValue(HKEY root, std::string_view subKey, std::string_view value) {
    return DeleteStored(root, MakeNames(subKey, value)) == ERROR_SUCCESS;
}

}  // namespace os
