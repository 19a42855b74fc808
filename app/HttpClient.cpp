// The window's HTTP client. Temporary until the network library's client is wired in.

#include "MainForm.h"

#include <stdexcept>

std::u16string TMainForm::Post(const std::u16string&, const std::vector<std::u16string>&) {
    throw std::runtime_error("not connected");
}

void TMainForm::AbortPost() {}
