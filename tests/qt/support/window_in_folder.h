#pragma once

// The whole window on the real Qt Env: the model, its event table and its
// Qt view, with setting.ini and data.csv in a temporary folder of its own.
// Test fixtures derive from it; members are built in this order, so the
// view always mirrors a model with its events bound.

#include <QString>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include "app/window_events.h"
#include "qt/support/folder_env.h"
#include "view/option_ip_view.h"
#include "window/option_ip.h"

namespace rtupoll::testing {

struct WindowInFolder {
  // The view's widget of that object name, or a failure naming it.
  template <typename W = QWidget>
  W* widget(const QString& name) {
    W* found = view.findChild<W*>(name);
    if (found == nullptr) ADD_FAILURE() << "no widget " << name.toStdString();
    return found;
  }

  QTemporaryDir folder;
  FolderEnv env{folder.path().toStdString()};
  OptionIP model{env};
  WindowEvents events{model};
  OptionIPView view{model, events};
};

}  // namespace rtupoll::testing
