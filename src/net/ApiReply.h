#pragma once
// The store API's reply envelope, the one reader of it that every caller
// uses: a JSON object with "code" (1 means success), "msg" (a text for the
// user) and "data" (the payload of a successful call).
//
// Outside input: any text may arrive here (an error page, a cut reply,
// hostile JSON), so nothing in it is trusted to have the expected shape.
// A member that is missing or of another type reads as empty text or 0.

#include <json/value.h>

#include <cstdint>
#include <string>
#include <string_view>

class ApiReply {
  public:
    // Parses `text`. An empty text, one that is not JSON, or JSON whose
    // root is not an object gives a reply that did not succeed.
    static ApiReply Read(std::string_view text);

    // The text parsed as a JSON object.
    bool Parsed() const { return m_parsed; }
    // "code" is the integer 1.
    bool Succeeded() const { return m_code == 1; }
    // "code" as an integer; 0 when missing, not an integer or out of range.
    int Code() const { return m_code; }
    // The root object has a member "code", whatever its value. The login
    // calls tell a refusal (a "code" other than 1: its "msg" is shown) from a
    // reply that is no answer of the store at all (no "code": nothing shown).
    bool HasCode() const { return m_hasCode; }
    // "msg" when it is a string, else empty.
    const std::string& Message() const { return m_message; }

    // Members of "data" (empty text or 0 when "data" is not an object or
    // the member is missing or of another type). Integers accept JSON
    // numbers with an integral value in range.
    std::string DataString(const char* name) const;
    std::int64_t DataInt(const char* name) const;
    bool HasData() const { return m_data.isObject(); }

    // The same rules for any JSON object (used for other page replies).
    static std::string StringMember(const Json::Value& object, const char* name);
    static std::int64_t IntMember(const Json::Value& object, const char* name);
    // Parses `text` as a JSON object; false when it is not one.
    static bool ParseObject(std::string_view text, Json::Value& root);

  private:
    bool m_parsed = false;
    bool m_hasCode = false;
    int m_code = 0;
    std::string m_message;
    Json::Value m_data;
};
