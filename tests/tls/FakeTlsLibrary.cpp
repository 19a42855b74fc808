// Stands in for an OpenSSL crypto or SSL library: it exports only the version functions, which
// report what the test puts into VL_FAKE_TLS_TEXT and VL_FAKE_TLS_NUMBER (hexadecimal).
#include <cstdlib>

extern "C" {

__attribute__((visibility("default"))) const char* OpenSSL_version(int) {
    const char* Text = std::getenv("VL_FAKE_TLS_TEXT");
    return Text != nullptr ? Text : "OpenSSL 1.0.2u  20 Dec 2019";
}

__attribute__((visibility("default"))) unsigned long OpenSSL_version_num() {
    const char* Number = std::getenv("VL_FAKE_TLS_NUMBER");
    return Number != nullptr ? std::strtoul(Number, nullptr, 16) : 0x1000215fUL;
}
}
