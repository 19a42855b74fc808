#include "IdCookies.h"

#include "IdHTTPText.h"

#include <algorithm>
#include <arpa/inet.h>
#include <limits>
#include <optional>

using IdHTTPText::LowerCase;
using IdHTTPText::TrimBlanks;
using IdText::EqualsNoCase;

namespace IdCookieRules {

namespace {

bool IsDelimiter(unsigned char C) {
    return C == 0x09 || (C >= 0x20 && C <= 0x2F) || (C >= 0x3B && C <= 0x40) ||
           (C >= 0x5B && C <= 0x60) || (C >= 0x7B && C <= 0x7E);
}

bool IsDigit(char C) {
    return C >= '0' && C <= '9';
}

// Reads 1..AMax digits at APos; the token may go on with non-digits only.
bool ReadDigits(std::string_view AToken, std::size_t& APos, std::size_t AMin, std::size_t AMax,
                int& AValue) {
    std::size_t Count = 0;
    AValue = 0;
    while (APos < AToken.size() && IsDigit(AToken[APos]) && Count < AMax) {
        AValue = AValue * 10 + (AToken[APos] - '0');
        ++APos;
        ++Count;
    }
    return Count >= AMin && (APos >= AToken.size() || !IsDigit(AToken[APos]));
}

bool ParseTime(std::string_view AToken, int& AHour, int& AMinute, int& ASecond) {
    std::size_t Pos = 0;
    if (!ReadDigits(AToken, Pos, 1, 2, AHour) || Pos >= AToken.size() || AToken[Pos] != ':')
        return false;
    ++Pos;
    if (!ReadDigits(AToken, Pos, 1, 2, AMinute) || Pos >= AToken.size() || AToken[Pos] != ':')
        return false;
    ++Pos;
    return ReadDigits(AToken, Pos, 1, 2, ASecond);
}

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t AYear, unsigned AMonth, unsigned ADay) {
    AYear -= AMonth <= 2;
    const std::int64_t Era = (AYear >= 0 ? AYear : AYear - 399) / 400;
    const unsigned YearOfEra = static_cast<unsigned>(AYear - Era * 400);
    const unsigned DayOfYear = (153 * (AMonth + (AMonth > 2 ? -3 : 9)) + 2) / 5 + ADay - 1;
    const unsigned DayOfEra = YearOfEra * 365 + YearOfEra / 4 - YearOfEra / 100 + DayOfYear;
    return Era * 146097 + static_cast<std::int64_t>(DayOfEra) - 719468;
}

bool IsLeap(int AYear) {
    return (AYear % 4 == 0 && AYear % 100 != 0) || AYear % 400 == 0;
}

bool IsIPAddress(std::string_view AHost) {
    const std::string Host(AHost);
    unsigned char Buffer[16];
    return inet_pton(AF_INET, Host.c_str(), Buffer) == 1 ||
           inet_pton(AF_INET6, Host.c_str(), Buffer) == 1;
}

} // namespace

bool ParseCookieDate(std::string_view AText, std::int64_t& ATime) {
    static constexpr std::string_view Months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                  "jul", "aug", "sep", "oct", "nov", "dec"};
    std::optional<int> Hour, Minute, Second, Day, Month, Year;
    std::size_t Pos = 0;
    while (Pos < AText.size()) {
        while (Pos < AText.size() && IsDelimiter(static_cast<unsigned char>(AText[Pos])))
            ++Pos;
        const std::size_t Start = Pos;
        while (Pos < AText.size() && !IsDelimiter(static_cast<unsigned char>(AText[Pos])))
            ++Pos;
        const std::string_view Token = AText.substr(Start, Pos - Start);
        if (Token.empty())
            continue;
        int H = 0, M = 0, S = 0, Value = 0;
        std::size_t TokenPos = 0;
        if (!Hour && ParseTime(Token, H, M, S)) {
            Hour = H, Minute = M, Second = S;
            continue;
        }
        if (!Day && ReadDigits(Token, TokenPos, 1, 2, Value)) {
            Day = Value;
            continue;
        }
        if (!Month && Token.size() >= 3) {
            const auto Found =
                std::find_if(std::begin(Months), std::end(Months), [&](std::string_view AName) {
                    return EqualsNoCase(Token.substr(0, 3), AName);
                });
            if (Found != std::end(Months)) {
                Month = static_cast<int>(Found - std::begin(Months)) + 1;
                continue;
            }
        }
        TokenPos = 0;
        if (!Year && ReadDigits(Token, TokenPos, 2, 4, Value)) {
            Year = Value;
            continue;
        }
    }
    if (!Hour || !Day || !Month || !Year)
        return false;
    int Y = *Year;
    if (Y >= 70 && Y <= 99)
        Y += 1900;
    else if (Y >= 0 && Y <= 69)
        Y += 2000;
    static constexpr int MonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int DaysInMonth = MonthDays[*Month - 1] + ((*Month == 2 && IsLeap(Y)) ? 1 : 0);
    if (*Day < 1 || *Day > DaysInMonth || Y < 1601 || *Hour > 23 || *Minute > 59 || *Second > 59)
        return false;
    ATime = DaysFromCivil(Y, static_cast<unsigned>(*Month), static_cast<unsigned>(*Day)) * 86400 +
            *Hour * 3600 + *Minute * 60 + *Second;
    return true;
}

bool DomainMatch(std::string_view AHost, std::string_view ADomain) {
    const std::string Host = LowerCase(AHost);
    const std::string Domain = LowerCase(ADomain);
    if (Host == Domain)
        return true;
    return !Domain.empty() && Host.size() > Domain.size() && Host.ends_with(Domain) &&
           Host[Host.size() - Domain.size() - 1] == '.' && !IsIPAddress(Host);
}

bool PathMatch(std::string_view ARequestPath, std::string_view ACookiePath) {
    if (ARequestPath == ACookiePath)
        return true;
    if (!ARequestPath.starts_with(ACookiePath))
        return false;
    return ACookiePath.ends_with('/') || ARequestPath[ACookiePath.size()] == '/';
}

std::string DefaultPath(std::string_view ARequestPath) {
    if (ARequestPath.empty() || ARequestPath.front() != '/')
        return "/";
    const std::size_t Last = ARequestPath.rfind('/');
    if (Last == 0)
        return "/";
    return std::string(ARequestPath.substr(0, Last));
}

} // namespace IdCookieRules

namespace {

struct TParsedCookie {
    std::string Name, Value;
    std::optional<std::int64_t> Expires; // from Expires
    std::optional<std::int64_t> MaxAge;  // absolute time from Max-Age
    std::optional<std::string> Domain, Path;
    bool Secure = false, HttpOnly = false;
    std::string SameSite = "None";
};

std::int64_t AddSaturated(std::int64_t A, std::int64_t B) {
    if (B > 0 && A > std::numeric_limits<std::int64_t>::max() - B)
        return std::numeric_limits<std::int64_t>::max();
    return A + B;
}

std::optional<TParsedCookie> ParseSetCookie(std::string_view AText, std::int64_t ANow) {
    TParsedCookie Cookie;
    const std::size_t Semicolon = AText.find(';');
    const std::string_view Pair = AText.substr(0, Semicolon);
    std::string_view Attributes =
        Semicolon == std::string_view::npos ? std::string_view() : AText.substr(Semicolon);
    const std::size_t Equals = Pair.find('=');
    if (Equals == std::string_view::npos)
        return std::nullopt;
    Cookie.Name = TrimBlanks(Pair.substr(0, Equals));
    Cookie.Value = TrimBlanks(Pair.substr(Equals + 1));
    if (Cookie.Name.empty())
        return std::nullopt;

    while (!Attributes.empty()) {
        Attributes.remove_prefix(1); // the ";"
        const std::size_t Next = Attributes.find(';');
        const std::string_view Attribute = Attributes.substr(0, Next);
        Attributes = Next == std::string_view::npos ? std::string_view() : Attributes.substr(Next);
        const std::size_t AttrEquals = Attribute.find('=');
        const std::string_view Name = TrimBlanks(Attribute.substr(0, AttrEquals));
        const std::string_view Value = AttrEquals == std::string_view::npos
                                           ? std::string_view()
                                           : TrimBlanks(Attribute.substr(AttrEquals + 1));
        if (EqualsNoCase(Name, "expires")) {
            std::int64_t Time = 0;
            if (IdCookieRules::ParseCookieDate(Value, Time))
                Cookie.Expires = Time;
        } else if (EqualsNoCase(Name, "max-age")) {
            std::string_view Digits = Value;
            const bool Negative = Digits.starts_with('-');
            if (Negative)
                Digits.remove_prefix(1);
            if (Digits.empty() || !std::all_of(Digits.begin(), Digits.end(),
                                               [](char C) { return C >= '0' && C <= '9'; }))
                continue;
            long long Delta = 0;
            const bool Fits = IdHTTPText::ParseInt64(Digits, Delta);
            if (Negative || (Fits && Delta == 0))
                Cookie.MaxAge = std::numeric_limits<std::int64_t>::min();
            else
                Cookie.MaxAge =
                    Fits ? AddSaturated(ANow, Delta) : std::numeric_limits<std::int64_t>::max();
        } else if (EqualsNoCase(Name, "domain")) {
            if (Value.empty())
                continue;
            std::string_view Domain = Value;
            if (Domain.starts_with('.'))
                Domain.remove_prefix(1);
            Cookie.Domain = LowerCase(Domain);
        } else if (EqualsNoCase(Name, "path")) {
            if (Value.empty() || Value.front() != '/')
                Cookie.Path.reset();
            else
                Cookie.Path = std::string(Value);
        } else if (EqualsNoCase(Name, "secure")) {
            Cookie.Secure = true;
        } else if (EqualsNoCase(Name, "httponly")) {
            Cookie.HttpOnly = true;
        } else if (EqualsNoCase(Name, "samesite")) {
            if (EqualsNoCase(Value, "strict"))
                Cookie.SameSite = "Strict";
            else if (EqualsNoCase(Value, "lax"))
                Cookie.SameSite = "Lax";
            else if (EqualsNoCase(Value, "none"))
                Cookie.SameSite = "None";
        }
    }
    return Cookie;
}

// The identity of a stored cookie: a cookie with the same key replaces it.
std::string CookieKey(const TIdCookie& ACookie) {
    // Each part after its length, so no name can pass for another name and domain.
    std::string Key;
    for (const std::string* Part : {&ACookie.Name, &ACookie.Domain, &ACookie.Path})
        Key += std::to_string(Part->size()) + ':' + LowerCase(*Part);
    Key += ACookie.HostOnly ? 'h' : 'd';
    return Key;
}

bool IsHTTPProtocol(std::string_view AProtocol) {
    return EqualsNoCase(AProtocol, "http") || EqualsNoCase(AProtocol, "https") ||
           EqualsNoCase(AProtocol, "shttp");
}

} // namespace

void TIdCookieManager::AddServerCookies(const std::vector<std::string>& ASetCookies,
                                        const TIdCookieRequest& ARequest, std::int64_t ANow,
                                        const std::function<void()>& ACheckAbort) {
    for (std::size_t I = 0; I < ASetCookies.size(); ++I) {
        if (ACheckAbort && I % 1024 == 1023)
            ACheckAbort();
        AddServerCookie(ASetCookies[I], ARequest, ANow);
    }
}

void TIdCookieManager::AddServerCookie(std::string_view ASetCookie,
                                       const TIdCookieRequest& ARequest, std::int64_t ANow) {
    const std::optional<TParsedCookie> Parsed = ParseSetCookie(ASetCookie, ANow);
    if (!Parsed)
        return;
    TIdCookie Cookie;
    Cookie.Name = Parsed->Name;
    Cookie.Value = Parsed->Value;
    Cookie.SameSite = Parsed->SameSite;
    if (Parsed->MaxAge) {
        Cookie.Persistent = true;
        Cookie.Expires = *Parsed->MaxAge;
    } else if (Parsed->Expires) {
        Cookie.Persistent = true;
        Cookie.Expires = *Parsed->Expires;
    }
    const std::string Host = LowerCase(ARequest.Host);
    if (Parsed->Domain) {
        if (!IdCookieRules::DomainMatch(Host, *Parsed->Domain))
            return;
        Cookie.HostOnly = false;
        Cookie.Domain = *Parsed->Domain;
    } else {
        Cookie.HostOnly = true;
        Cookie.Domain = Host;
    }
    Cookie.Path = Parsed->Path ? *Parsed->Path : IdCookieRules::DefaultPath(ARequest.Path);
    Cookie.Secure = Parsed->Secure;
    Cookie.HttpOnly = Parsed->HttpOnly;
    if (Cookie.Secure && !EqualsNoCase(ARequest.Protocol, "https"))
        return;
    if (Cookie.HttpOnly && !IsHTTPProtocol(ARequest.Protocol))
        return;
    if (Cookie.Name.starts_with("__Secure-") && !Cookie.Secure)
        return;
    if (Cookie.Name.starts_with("__Host-") &&
        (!Cookie.Secure || !Cookie.HostOnly || Cookie.Path != "/"))
        return;

    Cookie.CreatedAt = ANow;
    Cookie.LastAccess = ANow;
    const std::string Key = CookieKey(Cookie);
    if (const auto Old = FByKey.find(Key); Old != FByKey.end()) {
        TIdCookie& Stored = FCookies.at(Old->second);
        if (Cookie.IsExpired(ANow)) {
            Remove(Old->second);
            return;
        }
        Cookie.CreatedAt = Stored.CreatedAt;
        Cookie.CreationOrder = Stored.CreationOrder;
        Stored = std::move(Cookie);
        return;
    }
    if (Cookie.IsExpired(ANow))
        return;
    Cookie.CreationOrder = FNextOrder++;
    std::set<std::uint64_t>& OfDomain = FByDomain[Cookie.Domain];
    OfDomain.insert(Cookie.CreationOrder);
    FByKey.emplace(Key, Cookie.CreationOrder);
    FCookies.emplace(Cookie.CreationOrder, std::move(Cookie));
    if (OfDomain.size() > MaxPerDomain)
        Remove(*OfDomain.begin());
    if (FCookies.size() > MaxCookies)
        Remove(FCookies.begin()->first);
}

void TIdCookieManager::Remove(std::uint64_t AOrder) {
    const auto Found = FCookies.find(AOrder);
    if (Found == FCookies.end())
        return;
    const TIdCookie& Cookie = Found->second;
    FByKey.erase(CookieKey(Cookie));
    if (const auto Domain = FByDomain.find(Cookie.Domain); Domain != FByDomain.end()) {
        Domain->second.erase(AOrder);
        if (Domain->second.empty())
            FByDomain.erase(Domain);
    }
    FCookies.erase(Found);
}

void TIdCookieManager::RemoveExpired(std::int64_t ANow) {
    std::vector<std::uint64_t> Expired;
    for (const auto& [Order, Cookie] : FCookies)
        if (Cookie.IsExpired(ANow))
            Expired.push_back(Order);
    for (const std::uint64_t Order : Expired)
        Remove(Order);
}

std::vector<TIdCookie> TIdCookieManager::Cookies() const {
    std::vector<TIdCookie> Result;
    Result.reserve(FCookies.size());
    for (const auto& [Order, Cookie] : FCookies)
        Result.push_back(Cookie);
    return Result;
}

std::string TIdCookieManager::CookieHeader(const TIdCookieRequest& ARequest, std::int64_t ANow) {
    RemoveExpired(ANow);
    std::vector<TIdCookie*> Matching;
    const bool Secure = EqualsNoCase(ARequest.Protocol, "https");
    const bool HTTP = IsHTTPProtocol(ARequest.Protocol);
    for (auto& [Order, Cookie] : FCookies) {
        const bool DomainOk = Cookie.HostOnly
                                  ? EqualsNoCase(Cookie.Domain, ARequest.Host)
                                  : IdCookieRules::DomainMatch(ARequest.Host, Cookie.Domain);
        if (DomainOk && IdCookieRules::PathMatch(ARequest.Path, Cookie.Path) &&
            (!Cookie.Secure || Secure) && (!Cookie.HttpOnly || HTTP))
            Matching.push_back(&Cookie);
    }
    std::stable_sort(Matching.begin(), Matching.end(), [](const TIdCookie* A, const TIdCookie* B) {
        if (A->Path.size() != B->Path.size())
            return A->Path.size() > B->Path.size();
        if (A->CreatedAt != B->CreatedAt)
            return A->CreatedAt < B->CreatedAt;
        return A->CreationOrder < B->CreationOrder;
    });
    std::string Header;
    for (TIdCookie* Cookie : Matching) {
        if (!Header.empty())
            Header += "; ";
        Header += Cookie->Name + "=" + Cookie->Value;
        Cookie->LastAccess = ANow;
    }
    return Header;
}
