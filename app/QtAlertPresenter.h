#pragma once
#include "base/AlertPresenter.h"

// Alerts as Qt message boxes, application-modal.
class QtAlertPresenter final : public AlertPresenter {
public:
    AlertResult runModal(const Alert& alert) override;
};
