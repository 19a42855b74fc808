#include "CallProfiles.h"

#include "CallArguments.h"
#include "CallOptions.h"
#include "SendRequest.h"
#include "ServerProfiles.h"
#include "SettingsStore.h"

#include <QUrl>

#include <algorithm>
#include <iostream>
#include <optional>

namespace {

bool Valued(const std::string& AName) {
    return AName == "--profile" || AName == "--profile-add" || AName == "--profile-remove";
}

TConnectionSettings CurrentSettings() {
    TConnectionSettings settings;
    try {
        TSettingsStore().Load(settings, TSettingsStore::TMissingFile::ReadAsEmpty);
    } catch (const ESettingsError& error) {
        throw ECallUsage("Cannot read the window's settings (" +
                         TSettingsStore::DefaultFileName().toStdString() + "): " + error.what());
    }
    return settings;
}

// A whole URL split into the window's address, port and path fields.
TServerProfile ProfileOfURL(const std::string& AURL) {
    const QUrl url(QString::fromStdString(AURL), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.host().isEmpty() || url.hasQuery() || url.hasFragment())
        throw ECallUsage(
            "--server needs an http or https URL such as https://host:8087/api, not '" + AURL +
            "'.");
    TServerProfile profile;
    const QString host = url.host().contains(u':') ? u'[' + url.host() + u']' : url.host();
    profile.IP = scheme + QStringLiteral("://") + host;
    profile.Port = QString::number(url.port(scheme == QLatin1String("https") ? 443 : 80));
    profile.Path = url.path();
    while (profile.Path.startsWith(u'/'))
        profile.Path.remove(0, 1);
    return profile;
}

std::string ProfileURL(const TServerProfile& AProfile) {
    const TConnectionURL url = ConnectionURL(AProfile.IP, AProfile.Port, AProfile.Path);
    return url.Missing.isEmpty() ? UrlForDisplay(url.URL).toStdString() : "-";
}

} // namespace

bool TakeProfileOption(const std::string& AArgument, int& AIndex, int argc, char** argv,
                       TCallOptions& AOptions) {
    const std::size_t equals = AArgument.find('=');
    const std::string name = AArgument.substr(0, equals);
    if (std::find(ProfileOptionNames.begin(), ProfileOptionNames.end(), name) ==
        ProfileOptionNames.end())
        return false;
    std::optional<std::string> value;
    if (equals != std::string::npos)
        value = AArgument.substr(equals + 1);
    if (!Valued(name)) {
        if (value)
            throw ECallUsage("Option " + name + " takes no value.");
        (name == "--profiles"     ? AOptions.ListProfiles
         : name == "--production" ? AOptions.Production
                                  : AOptions.Yes) = true;
        return true;
    }
    if (!value) {
        if (AIndex + 1 >= argc)
            throw ECallUsage("Option " + name + " needs a value.");
        value = argv[++AIndex];
    }
    (name == "--profile"       ? AOptions.Profile
     : name == "--profile-add" ? AOptions.ProfileAdd
                               : AOptions.ProfileRemove) = *value;
    return true;
}

bool ManagesProfiles(const TCallOptions& AOptions) {
    return AOptions.ListProfiles || AOptions.ProfileAdd || AOptions.ProfileRemove;
}

int RunProfileCommand(const TCallOptions& AOptions) {
    const int given = int(AOptions.ListProfiles) + int(AOptions.ProfileAdd.has_value()) +
                      int(AOptions.ProfileRemove.has_value());
    if (given > 1)
        throw ECallUsage("--profiles, --profile-add and --profile-remove cannot be combined.");
    if (!AOptions.Positional.empty())
        throw ECallUsage("A profile option takes no COMMAND.");
    if (AOptions.Production && !AOptions.ProfileAdd)
        throw ECallUsage("--production goes with --profile-add.");
    if ((AOptions.Server || AOptions.ServerVersion) && !AOptions.ProfileAdd)
        throw ECallUsage("--server and --server-version go with --profile-add or a call.");
    const TConnectionSettings current = CurrentSettings();
    TServerProfiles profiles;
    try {
        if (AOptions.ListProfiles) {
            const QString currentName = profiles.CurrentName();
            for (const TServerProfile& profile : profiles.List(current)) {
                std::string marks;
                if (profile.Name == currentName)
                    marks = "current";
                if (profile.Production)
                    marks += std::string(marks.empty() ? "" : ",") + "production";
                std::cout << profile.Name.toStdString() << '\t' << ProfileURL(profile) << '\t'
                          << (profile.Version.trimmed().isEmpty()
                                  ? std::string("-")
                                  : profile.Version.trimmed().toStdString())
                          << '\t' << (marks.empty() ? "-" : marks) << '\n';
            }
            std::cout << std::flush;
            return std::cout ? 0 : 1;
        }
        if (AOptions.ProfileAdd) {
            if (!AOptions.Server)
                throw ECallUsage("--profile-add needs --server URL.");
            TServerProfile profile = ProfileOfURL(*AOptions.Server);
            profile.Name = QString::fromStdString(*AOptions.ProfileAdd);
            profile.Version = QString::fromStdString(AOptions.ServerVersion.value_or(""));
            profile.Production = AOptions.Production;
            profiles.Add(profile, current);
            return 0;
        }
        profiles.Remove(QString::fromStdString(*AOptions.ProfileRemove), current);
        return 0;
    } catch (const ESettingsError& error) {
        throw ECallUsage(error.what());
    }
}
