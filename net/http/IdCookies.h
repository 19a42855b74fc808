#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One stored cookie. Times are seconds since 1970-01-01 UTC.
struct TIdCookie {
    std::string Name;
    std::string Value;
    std::string Domain; // lower case, without a leading "."
    std::string Path;
    std::string SameSite = "None";
    bool HostOnly = true;
    bool Secure = false;
    bool HttpOnly = false;
    bool Persistent = false; // false: lasts until the store is destroyed
    std::int64_t Expires = 0;
    std::int64_t CreatedAt = 0;
    std::uint64_t CreationOrder = 0; // ties between equal creation times
    std::int64_t LastAccess = 0;

    bool IsExpired(std::int64_t ANow) const { return Persistent && Expires <= ANow; }
};

// The request a cookie is received from or sent with.
struct TIdCookieRequest {
    std::string Host;     // without brackets
    std::string Protocol; // "http", "https", ...
    std::string Path;     // path plus document, without the query
};

// Cookie store of one client, following RFC 6265 sections 5.1.3, 5.1.4, 5.2 and 5.3. Like a
// browser's, it holds at most MaxPerDomain cookies per domain and MaxCookies in all; past either
// limit the oldest cookies go first.
class TIdCookieManager {
public:
    static constexpr std::size_t MaxPerDomain = 50;
    static constexpr std::size_t MaxCookies = 3000;

    // Parses one Set-Cookie value received for ARequest and stores, replaces or removes a cookie.
    void AddServerCookie(std::string_view ASetCookie, const TIdCookieRequest& ARequest,
                         std::int64_t ANow);
    // AddServerCookie for each of ASetCookies in order: one answer's Set-Cookie headers, which
    // may be many. ACheckAbort, when set, is called now and then and may throw to end the work.
    void AddServerCookies(const std::vector<std::string>& ASetCookies,
                          const TIdCookieRequest& ARequest, std::int64_t ANow,
                          const std::function<void()>& ACheckAbort = {});

    // Drops expired cookies, then returns the Cookie header value for ARequest (empty when no
    // cookie matches) and marks the matching cookies as used.
    std::string CookieHeader(const TIdCookieRequest& ARequest, std::int64_t ANow);

    void RemoveExpired(std::int64_t ANow);
    // The stored cookies, oldest first.
    std::vector<TIdCookie> Cookies() const;

private:
    // Removes the cookie created as AOrder-th, with its index entries.
    void Remove(std::uint64_t AOrder);

    // By creation order, so the oldest is first; a replaced cookie keeps its place.
    std::map<std::uint64_t, TIdCookie> FCookies;
    // Name, domain, host-only flag and path (letter case folded) to creation order.
    std::unordered_map<std::string, std::uint64_t> FByKey;
    // Domain to the creation orders of its cookies.
    std::unordered_map<std::string, std::set<std::uint64_t>> FByDomain;
    std::uint64_t FNextOrder = 0;
};

namespace IdCookieRules {

// RFC 6265 5.1.1; false when the text is not a cookie date.
bool ParseCookieDate(std::string_view AText, std::int64_t& ATime);
// RFC 6265 5.1.3, both arguments in any letter case.
bool DomainMatch(std::string_view AHost, std::string_view ADomain);
// RFC 6265 5.1.4.
bool PathMatch(std::string_view ARequestPath, std::string_view ACookiePath);
std::string DefaultPath(std::string_view ARequestPath);

} // namespace IdCookieRules
