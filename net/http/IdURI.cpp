#include "IdURI.h"

#include <vector>

namespace {

using size_type = std::u16string::size_type;
constexpr size_type npos = std::u16string::npos;

bool IsSlash(char16_t C) {
    return C == u'/' || C == u'\\';
}

// Cuts "#bookmark" and then "?params" off the end of AText.
void CutParamsAndBookmark(std::u16string& AText, TIdURI& AURI) {
    const size_type Hash = AText.find(u'#');
    if (Hash != npos) {
        AURI.Bookmark = AText.substr(Hash + 1);
        AText.erase(Hash);
    }
    const size_type Question = AText.find(u'?');
    if (Question != npos) {
        AURI.Params = AText.substr(Question + 1);
        AText.erase(Question);
    }
}

} // namespace

std::u16string TIdURI::NormalizePath(const std::u16string& AURI) {
    std::u16string Result = AURI;
    size_type Start = 0;
    const size_type Colon = Result.find(u':');
    if (Colon != npos) {
        Start = Colon + 1;
        if (Start + 1 < Result.size() && IsSlash(Result[Start]) && IsSlash(Result[Start + 1]))
            Start += 2;
    }
    for (size_type I = Start; I < Result.size(); ++I) {
        if (Result[I] == u'?' || Result[I] == u'#')
            break;
        if (Result[I] == u'\\')
            Result[I] = u'/';
    }
    return Result;
}

void TIdURI::SetURI(const std::u16string& AURI) {
    *this = TIdURI();
    std::u16string Rest = NormalizePath(AURI);

    bool HasAuthority = false;
    const size_type Separator = Rest.find(u"://");
    if (Separator != npos) {
        Protocol = Rest.substr(0, Separator);
        Rest.erase(0, Separator + 3);
        HasAuthority = true;
    } else if (Rest.starts_with(u"//")) {
        Rest.erase(0, 2);
        HasAuthority = true;
    }

    CutParamsAndBookmark(Rest, *this);

    if (!HasAuthority) {
        const size_type LastSlash = Rest.rfind(u'/');
        if (LastSlash != npos) {
            Path = Rest.substr(0, LastSlash + 1);
            Document = Rest.substr(LastSlash + 1);
        } else {
            Document = Rest;
        }
        return;
    }

    const size_type Slash = Rest.find(u'/');
    std::u16string Authority = Rest.substr(0, Slash);
    std::u16string Remainder = Slash == npos ? std::u16string() : Rest.substr(Slash + 1);

    const size_type At = Authority.rfind(u'@');
    if (At != npos) {
        const std::u16string UserPart = Authority.substr(0, At);
        Authority.erase(0, At + 1);
        const size_type Colon = UserPart.find(u':');
        Username = UserPart.substr(0, Colon);
        if (!Username.empty() && Colon != npos)
            Password = UserPart.substr(Colon + 1);
    }

    const size_type Close = Authority.find(u']');
    if (Authority.starts_with(u"[") && Close != npos) {
        Host = Authority.substr(1, Close - 1);
        IPVersion = TIPVersion::Id_IPv6;
        const size_type Colon = Authority.find(u':', Close);
        if (Colon != npos)
            Port = Authority.substr(Colon + 1);
    } else {
        const size_type Colon = Authority.find(u':');
        Host = Authority.substr(0, Colon);
        if (Colon != npos)
            Port = Authority.substr(Colon + 1);
    }

    const size_type LastSlash = Remainder.rfind(u'/');
    if (LastSlash != npos) {
        Path = u"/" + Remainder.substr(0, LastSlash + 1);
        Document = Remainder.substr(LastSlash + 1);
    } else {
        Path = u"/";
        Document = Remainder;
    }
}

std::u16string TIdURI::ResolvePath(const std::u16string& APath) {
    const bool Leading = APath.starts_with(u"/");
    std::vector<std::u16string> Segments;
    bool Trailing = false;
    size_type Pos = 0;
    while (Pos <= APath.size()) {
        size_type Next = APath.find(u'/', Pos);
        if (Next == npos)
            Next = APath.size();
        const std::u16string Segment = APath.substr(Pos, Next - Pos);
        const bool Last = Next == APath.size();
        if (Segment == u"..") {
            if (!Segments.empty())
                Segments.pop_back();
            Trailing = true;
        } else if (Segment == u"." || Segment.empty()) {
            // Empty segments come from the leading "/" and from doubled slashes at the seams of a
            // merge; like ".", the trailing one only marks a directory.
            Trailing = true;
        } else {
            Segments.push_back(Segment);
            Trailing = false;
        }
        if (Last)
            break;
        Pos = Next + 1;
    }
    std::u16string Result = Leading ? u"/" : u"";
    for (size_type I = 0; I < Segments.size(); ++I) {
        if (I > 0)
            Result += u'/';
        Result += Segments[I];
    }
    if (Trailing && !Segments.empty())
        Result += u'/';
    return Result;
}

std::u16string TIdURI::GetFullURI() const {
    std::u16string Result = Protocol + u"://";
    if (IPVersion == TIPVersion::Id_IPv6)
        Result += u"[" + Host + u"]";
    else
        Result += Host;
    if (!Port.empty())
        Result += u":" + Port;
    Result += Path + Document;
    if (!Params.empty())
        Result += u"?" + Params;
    return Result;
}
