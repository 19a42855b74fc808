#pragma once

#include <functional>
#include <string_view>

// Base of all network components: holds a use of the global socket stack for its lifetime.
class TIdComponent {
public:
    TIdComponent();
    virtual ~TIdComponent();
    TIdComponent(const TIdComponent&) = delete;
    TIdComponent& operator=(const TIdComponent&) = delete;

    // Receives status texts ("Connected.", "Disconnected.", ...); none by default.
    std::function<void(std::string_view)> OnStatus;

protected:
    void DoStatus(std::string_view AText) const;
};
