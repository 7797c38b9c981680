#pragma once
// Where the macOS build reuses the Qt backend and adds a native step of its own. Plain C++ on
// Qt: the native steps are passed in, so these build and are tested on any system.
// - MacPanelBackendFactory: the Qt panel (a compositor always runs on macOS, so the panel is
//   translucent and fades), with the non-activating step applied to its window before it is
//   first shown and again after each ordering front, because Qt re-applies its own window
//   level and collection behaviour when it shows a window.
// - MacApplication: QtApplication, with the activation policy also handed to the system.
// - MacPreferencesStore: QSettings in the native format, which on macOS is the user's defaults
//   domain (CFPreferences). Unlike the INI store, the native store keeps types: a Bool is
//   written as a real Bool (`defaults read` shows 1, not "true") and a string stays a string
//   even when its text is "true" or "42"; numbers read back as doubles. Lists, dates and data
//   are OtherValues. Each write is synced at once.

#include "platform/Preferences.h"
#include "platform/qt/QtPanelBackend.h"
#include "platform/qt/QtRunLoop.h"

#include <QWidget>
#include <functional>
#include <memory>

class QSettings;

namespace corvane {

using NativeWindowStep = std::function<void(WId)>;

class MacPanelBackendFactory : public PanelBackendFactory {
  public:
    explicit MacPanelBackendFactory(NativeWindowStep step,
                                    std::function<QRect()> screenArea = desktopGeometry);
    std::unique_ptr<PanelBackend> createPanelBackend(Panel& panel) override;

  private:
    NativeWindowStep step_;
    std::function<QRect()> screenArea_;
};

class MacApplication : public QtApplication {
  public:
    MacApplication(QApplication& app, std::function<void(ActivationPolicy)> applyPolicy)
        : QtApplication(app), applyPolicy_(std::move(applyPolicy)) {}
    void setActivationPolicy(ActivationPolicy policy) override;

  private:
    std::function<void(ActivationPolicy)> applyPolicy_;
};

class MacPreferencesStore : public PreferencesStore {
  public:
    explicit MacPreferencesStore(std::unique_ptr<QSettings> settings);
    ~MacPreferencesStore() override;

    // The application's own defaults domain, the bundle identifier: Qt names the native store
    // after the organisation's domain reversed and the application's name, so the maker's host
    // "tarrow.app" gives app.tarrow.corvane, as the bundle's identifier is made.
    static std::unique_ptr<QSettings> userDefaults(const QString& makerHost);

    PropertyValue objectForKey(const std::string& key) const override;
    void setObject(const std::string& key, const PropertyValue& value) override;

  private:
    std::unique_ptr<QSettings> settings_;
};

} // namespace corvane
