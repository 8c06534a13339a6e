#pragma once

// The operator's hand for widget tests: key strokes and mouse clicks sent
// as real events, so they take the same path through Qt as a person's.

#include <QString>

class QWidget;

namespace rtupoll::testing {

void typeText(QWidget* widget, const QString& text);
void pressKey(QWidget* widget, int key);
void clickCenter(QWidget* widget);

}  // namespace rtupoll::testing
