#include "EventLoop.h"
#include "FakeLoginItem.h"
#include "FakePricingProxy.h"
#include "SettingsView.h"
#include "VaultMetalCard.h"
#include "VaultView.h"
#include "persistence/PreferencesStore.h"
#include "persistence/VaultStore.h"
#include "pricing/MetalPricingService.h"

#include <cmath>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace mintlux;

namespace {

double luminance(const QColor& c) {
    const auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// How a label's text stands out from what is behind it, as the accessibility guidelines
// measure it: 1 is invisible, 21 black on white.
double contrast(const QLabel* label, const QColor& background) {
    QColor text = label->palette().color(label->foregroundRole());
    const double a = text.alphaF();
    text = QColor::fromRgbF(static_cast<float>(text.redF() * a + background.redF() * (1 - a)),
                            static_cast<float>(text.greenF() * a + background.greenF() * (1 - a)),
                            static_cast<float>(text.blueF() * a + background.blueF() * (1 - a)));
    const double l1 = luminance(text);
    const double l2 = luminance(background);
    return (std::max(l1, l2) + 0.05) / (std::min(l1, l2) + 0.05);
}

QPalette darkPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x2B, 0x2B, 0x2B));
    p.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
    p.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
    p.setColor(QPalette::Text, QColor(0xEE, 0xEE, 0xEE));
    p.setColor(QPalette::Button, QColor(0x3A, 0x3A, 0x3A));
    p.setColor(QPalette::ButtonText, QColor(0xEE, 0xEE, 0xEE));
    p.setColor(QPalette::Highlight, QColor(0x2F, 0x65, 0xCA));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, QColor(0x9A, 0x9A, 0x9A));
    return p;
}

// Every text of the windows stays readable in a light and a dark desktop theme, switched while
// the windows are open. The renderings are kept for a person to look at.
TEST(WindowThemeTest, TextsStayReadableInLightAndDarkThemes) {
    QTemporaryDir dir;
    PreferencesStore preferences(dir.filePath(QStringLiteral("preferences.json")));
    VaultStore store(preferences);
    store.setEntry({Decimal(2), MetalUnit::troyOunce, KaratGrade::k22}, MetalSeries::gold);
    auto proxy = std::make_shared<test::FakePricingProxy>();
    proxy->setLatest(Currency::usd, {{"XAU", "2345.678"}, {"XAG", "29.456"}});
    auto service = std::make_shared<MetalPricingService>(proxy, 60.0);
    test::await(service->refresh(Currency::usd));
    test::FakeLoginItem loginItem;
    loginItem.failure = QStringLiteral("The autostart folder is read-only");

    VaultView vault(service, Currency::usd, store, QStringLiteral("en_US"));
    vault.resize(580, 640);
    vault.show();
    SettingsView settings(preferences, loginItem);
    settings.resize(480, 360);
    settings.show();
    QTest::mouseClick(settings.launchAtLoginSwitch(), Qt::LeftButton);
    ASSERT_FALSE(settings.launchAtLoginError().isEmpty());
    ASSERT_TRUE(test::waitUntil([&] { return vault.totalText() != QStringLiteral("$0.00"); }));

    const QString artifacts = QStringLiteral(MINTLUX_WINDOW_ARTIFACTS);
    QDir().mkpath(artifacts);
    const QPalette light = QApplication::palette();
    for (const auto& [name, palette] : {std::pair{"light", light}, {"dark", darkPalette()}}) {
        QApplication::setPalette(palette);
        test::settle();
        const QColor window = palette.color(QPalette::Window);
        const QColor card = palette.color(QPalette::Base);
        for (const MetalSeries metal : MetalSeries::allCases()) {
            const VaultMetalCard* c = vault.card(metal);
            const auto* price = c->findChild<QLabel*>(QStringLiteral("price"));
            const auto* worth = c->findChild<QLabel*>(QStringLiteral("worth"));
            if (!price->text().isEmpty()) {
                EXPECT_GE(contrast(price, card), 3.0) << name << " " << price->text().toStdString();
            }
            EXPECT_GE(contrast(worth, card), worth->text() == QStringLiteral("\u2014") ? 3.0 : 4.5)
                << name << " " << worth->text().toStdString();
        }
        EXPECT_GE(contrast(vault.findChild<QLabel*>(QStringLiteral("total")), window), 4.5) << name;
        for (const char* label : {"launchAtLoginError", "footer"}) {
            EXPECT_GE(contrast(settings.findChild<QLabel*>(QLatin1String(label)), window), 3.0)
                << name << " " << label;
        }
        vault.grab().save(artifacts + QStringLiteral("/vault-%1.png").arg(QLatin1String(name)));
        for (const auto tab :
             {SettingsView::Tab::general, SettingsView::Tab::display, SettingsView::Tab::about}) {
            settings.setSelection(tab);
            settings.grab().save(artifacts + QStringLiteral("/settings-%1-%2.png")
                                                 .arg(QLatin1String(name))
                                                 .arg(static_cast<int>(tab)));
        }
    }
    QApplication::setPalette(light);
}

}  // namespace
