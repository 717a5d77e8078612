#include "account/UserSession.h"

UserSession& UserSession::Instance() {
    static UserSession session;
    return session;
}

UserSessionValues UserSession::Snapshot() const {
    std::lock_guard lock(m_mutex);
    return m_values;
}

bool UserSession::IsLoggedIn() const {
    std::lock_guard lock(m_mutex);
    return !m_values.sessionToken.empty();
}

std::string UserSession::SessionToken() const {
    std::lock_guard lock(m_mutex);
    return m_values.sessionToken;
}

void UserSession::Update(const std::function<void(UserSessionValues&)>& change) {
    std::lock_guard lock(m_mutex);
    change(m_values);
}

bool UserSession::UpdateIfToken(const std::string& token,
                                const std::function<void(UserSessionValues&)>& change) {
    std::lock_guard lock(m_mutex);
    if (m_values.sessionToken != token) {
        return false;
    }
    change(m_values);
    return true;
}
