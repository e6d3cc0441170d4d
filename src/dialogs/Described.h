#pragma once

#include <QString>

// Gives a dialog's control the name screen readers announce and the tip that says what it does;
// every control of the dialogs has both.
template <typename Control>
Control* described(Control* control, const QString& accessibleName, const QString& toolTip) {
    control->setAccessibleName(accessibleName);
    control->setToolTip(toolTip);
    return control;
}
