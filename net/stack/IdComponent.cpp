#include "IdComponent.h"

#include "IdStack.h"

TIdComponent::TIdComponent() {
    TIdStack::IncUsage();
}

TIdComponent::~TIdComponent() {
    TIdStack::DecUsage();
}

void TIdComponent::DoStatus(std::string_view AText) const {
    if (OnStatus) {
        OnStatus(AText);
    }
}
