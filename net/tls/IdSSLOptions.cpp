#include "IdSSLOptions.h"

namespace {

TIdSSLVersions AllConcreteVersions() {
    TIdSSLVersions Result;
    for (TIdSSLVersion V : ConcreteSSLVersions) {
        Result.Include(V);
    }
    return Result;
}

} // namespace

void TIdSSLOptions::SetMethod(TIdSSLVersion AValue) {
    FMethod = AValue;
    FSSLVersions = AValue == sslvSSLv23 ? AllConcreteVersions() : TIdSSLVersions{AValue};
}

void TIdSSLOptions::SetSSLVersions(TIdSSLVersions AValue) {
    FSSLVersions = AValue;
    int Count = 0;
    TIdSSLVersion Single = sslvSSLv23;
    for (TIdSSLVersion V : ConcreteSSLVersions) {
        if (AValue.Contains(V)) {
            ++Count;
            Single = V;
        }
    }
    if (Count == 1) {
        FMethod = Single;
        return;
    }
    FMethod = sslvSSLv23;
    if (FSSLVersions.Contains(sslvSSLv23)) {
        FSSLVersions.Exclude(sslvSSLv23);
        if (FSSLVersions.Empty()) {
            FSSLVersions = AllConcreteVersions();
        }
    }
}
