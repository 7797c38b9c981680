// The Qt backend with the macOS steps (see MacQtGlue.h).

#include "platform/macos/MacQtGlue.h"

#include "platform/qt/QtPreferencesStore.h"

#include <QSettings>

namespace corvane {

namespace {

class MacPanelBackend : public PanelBackend {
  public:
    MacPanelBackend(Panel& panel, NativeWindowStep step, std::function<QRect()> screenArea)
        : inner_(
              panel, [] { return true; }, std::move(screenArea)),
          step_(std::move(step)) {
        // winId() makes the native window now, so that the step applies before it first shows.
        applyStep();
    }

    void panelDidOrderFront() override {
        inner_.panelDidOrderFront();
        applyStep();
    }
    void panelDidOrderOut() override { inner_.panelDidOrderOut(); }
    void panelDidChangeFrame() override { inner_.panelDidChangeFrame(); }
    void panelDidChangeAlpha() override { inner_.panelDidChangeAlpha(); }
    void panelDidChangeIgnoresMouseEvents() override { inner_.panelDidChangeIgnoresMouseEvents(); }
    void panelNeedsDisplay() override { inner_.panelNeedsDisplay(); }

  private:
    void applyStep() {
        if (step_)
            step_(inner_.window().winId());
    }

    QtPanelBackend inner_;
    NativeWindowStep step_;
};

} // namespace

MacPanelBackendFactory::MacPanelBackendFactory(NativeWindowStep step,
                                               std::function<QRect()> screenArea)
    : step_(std::move(step)), screenArea_(std::move(screenArea)) {}

std::unique_ptr<PanelBackend> MacPanelBackendFactory::createPanelBackend(Panel& panel) {
    return std::make_unique<MacPanelBackend>(panel, step_, screenArea_);
}

void MacApplication::setActivationPolicy(ActivationPolicy policy) {
    QtApplication::setActivationPolicy(policy);
    if (applyPolicy_)
        applyPolicy_(policy);
}

MacPreferencesStore::MacPreferencesStore(std::unique_ptr<QSettings> settings)
    : settings_(std::move(settings)) {}

MacPreferencesStore::~MacPreferencesStore() = default;

std::unique_ptr<QSettings> MacPreferencesStore::userDefaults(const QString& makerHost) {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, makerHost,
                                       QStringLiteral("corvane"));
}

PropertyValue MacPreferencesStore::objectForKey(const std::string& key) const {
    // A value written by `defaults write` while Corvane runs applies at the next read.
    settings_->sync();
    return fromQVariant(settings_->value(QString::fromStdString(key)), StoredTypes::kept);
}

void MacPreferencesStore::setObject(const std::string& key, const PropertyValue& value) {
    const QString name = QString::fromStdString(key);
    if (isAbsent(value))
        settings_->remove(name);
    else
        settings_->setValue(name, toQVariant(value));
    settings_->sync();
}

} // namespace corvane
