#!/usr/bin/env bash
# Applies deliberate one-line faults one at a time, rebuilds the affected test binary (dev preset,
# incremental), runs it and expects a failure. A fault the suite lets through is MISSED: either a
# test was lost or the fault was never covered. Run it before and after changing tests.
#
#   scripts/mutation-check.sh            every fault
#   scripts/mutation-check.sh 3 7        only entries 3 and 7 (1-based)
#
# Entries below, one per line, fields separated by " ¦ ":
#   file ¦ original text ¦ replacement ¦ build target ¦ test binary ¦ gtest filter
# The original must occur exactly once in the file ("\n" in it matches a line break). When it is
# not found the script stops and names the entry: the code moved, so the entry needs updating.
set -uo pipefail

cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=$ROOT/build/dev

FAULTS=$(cat <<'EOF'
core/market/Decimal.cpp ¦ if (r >= pow10Of(v, k - 1) * 5) { ¦ if (r > pow10Of(v, k - 1) * 5) { ¦ mintlux_core_tests ¦ mintlux_core_tests ¦ Decimal*
core/market/Decimal.cpp ¦ return xs >= ys ? DecimalBuilder::fromExact(xNeg, xs - ys, y.m_exponent) ¦ return xs >= ys ? DecimalBuilder::fromExact(yNeg, xs - ys, y.m_exponent) ¦ mintlux_core_tests ¦ mintlux_core_tests ¦ Decimal*
core/market/Decimal.cpp ¦ sticky = y.m_mantissa % p != 0; ¦ sticky = false; ¦ mintlux_core_tests ¦ mintlux_core_tests ¦ Decimal*
core/market/Decimal.cpp ¦ const int s = 39 + nb - na; ¦ const int s = 38 + nb - na; ¦ mintlux_core_tests ¦ mintlux_core_tests ¦ Decimal*
core/market/Decimal.cpp ¦ if (json && fracDigits == 0) { ¦ if (false && fracDigits == 0) { ¦ mintlux_core_tests ¦ mintlux_core_tests ¦ *
core/json/JsonValue.cpp ¦ (s[intStart] == '0' && intDigits > 1) ¦ (s[intStart] == '0' && intDigits > 9) ¦ mintlux_core_tests ¦ mintlux_core_tests ¦ *
core/json/JsonValue.h ¦ if (m_depth >= kMaxDepth) { ¦ if (m_depth >= kMaxDepth * 100) { ¦ mintlux_core_tests ¦ mintlux_core_tests ¦ *
core/pricing/LatestPricesResponse.cpp ¦ if (!inserted) { ¦ if (false) { ¦ mintlux_core_tests ¦ mintlux_core_tests ¦ *
core/json/Iso8601.cpp ¦ hour > 23 || minute > 59 || second > 59) { ¦ hour > 23 || minute > 59 || second > 60) { ¦ mintlux_core_tests ¦ mintlux_core_tests ¦ *
core/json/Iso8601.cpp ¦ (s[pos] == '-' ? -1 : 1); ¦ (s[pos] == '-' ? 1 : -1); ¦ mintlux_core_tests ¦ mintlux_core_tests ¦ *
core/json/Iso8601.cpp ¦ std::int64_t scale = 100'000'000; ¦ std::int64_t scale = 10'000'000; ¦ mintlux_core_tests ¦ mintlux_core_tests ¦ *
core/market/UnitConversion.cpp ¦ *Decimal::parse("31.1034768") ¦ *Decimal::parse("31.1034769") ¦ mintlux_core_tests ¦ mintlux_core_tests ¦ *
core/market/PriceTick.h ¦ if (!percent || percent->magnitude() < threshold) { ¦ if (!percent || percent->magnitude() <= threshold) { ¦ mintlux_core_tests ¦ mintlux_core_tests ¦ *
core/pricing/PollTask.cpp ¦ m_service.logFailure(error);\n            cycleEnded(); ¦ m_service.logFailure(error); ¦ mintlux_pricing_tests ¦ mintlux_pricing_tests ¦ *
core/pricing/PollTask.cpp ¦ MetalPricingService::sleepDuration(m_service.refreshInterval()); ¦ MetalPricingService::sleepDuration(1.0); ¦ mintlux_pricing_tests ¦ mintlux_pricing_tests ¦ *
core/pricing/MetalPricingService.cpp ¦ if (std::isnan(seconds) || seconds < kMinInterval) { ¦ if (seconds < kMinInterval) { ¦ mintlux_pricing_tests ¦ mintlux_pricing_tests ¦ *
core/persistence/PreferencesFormat.cpp ¦ if (seen.insert(name).second) { ¦ if (seen.insert(name).second || true) { ¦ mintlux_persistence_tests ¦ mintlux_persistence_tests ¦ *
core/persistence/PreferencesStore.cpp ¦ if (disk.status != DiskState::Status::unreadable) { ¦ if (true) { ¦ mintlux_persistence_tests ¦ mintlux_persistence_tests ¦ *
core/persistence/VaultEntry.cpp ¦ if (series == MetalSeries::gold) { ¦ if (series != MetalSeries::gold) { ¦ mintlux_persistence_tests ¦ mintlux_persistence_tests ¦ *
core/persistence/VaultEntry.cpp ¦ KaratGold::value(karat, quantity, unit, tick.value(), tick.unit()); ¦ KaratGold::value(karat, quantity, tick.unit(), tick.value(), unit); ¦ mintlux_persistence_tests ¦ mintlux_persistence_tests ¦ *
core/persistence/VaultEntry.cpp ¦ return saturating(unitPrice.isNegative(), [&] { return unitPrice * quantity; }); ¦ return saturating(false, [&] { return unitPrice * quantity; }); ¦ mintlux_persistence_tests ¦ mintlux_persistence_tests ¦ *
Mintlux/MenuBarTitleFormatter.cpp ¦ (negative ? QChar(0x25BC) : QChar(0x25B2)) ¦ (negative ? QChar(0x25B2) : QChar(0x25BC)) ¦ mintlux_app_tests ¦ mintlux_app_tests ¦ *
Mintlux/MenuBarTitleFormatter.cpp ¦ case DisplayMode::priceAndDelta:\n            delta = true; ¦ case DisplayMode::priceAndDelta:\n            delta = false; ¦ mintlux_app_tests ¦ mintlux_app_tests ¦ *
Mintlux/ChartAxes.cpp ¦ double pad = (hi - lo) * 0.05; ¦ double pad = (hi - lo) * 0.5; ¦ mintlux_menubar_tests ¦ mintlux_menubar_tests ¦ ChartAxes*:PriceChart*
Mintlux/ChartAxes.cpp ¦ pad = 0.5; ¦ pad = 0.05; ¦ mintlux_menubar_tests ¦ mintlux_menubar_tests ¦ ChartAxes*:PriceChart*
Mintlux/MetalRow.cpp ¦ m_negative = *pct < Decimal(0); ¦ m_negative = *pct > Decimal(0); ¦ mintlux_menubar_tests ¦ mintlux_menubar_tests ¦ MenuBarView*
Mintlux/MetalRow.cpp ¦ return m_isPrimary ? QStringLiteral("Currently in menu bar") ¦ return !m_isPrimary ? QStringLiteral("Currently in menu bar") ¦ mintlux_menubar_tests ¦ mintlux_menubar_tests ¦ MenuBarView*
server/PriceDocuments.cpp ¦ price.prevClose = *close * *fx; ¦ price.prevClose = *close; ¦ mintlux_server_tests ¦ server/mintlux_server_tests ¦ *
server/PriceDocuments.cpp ¦ doc.stale = false; ¦ doc.stale = true; ¦ mintlux_server_tests ¦ server/mintlux_server_tests ¦ *
server/PriceDocuments.cpp ¦ return m_clock->now() >= entry.staleAt ? entry.stale : entry.fresh; ¦ return entry.fresh; ¦ mintlux_server_tests ¦ server/mintlux_server_tests ¦ *
server/http/HttpConnection.cpp ¦ : lineEnd) > limits.maxRequestLine) { ¦ : lineEnd) > limits.maxRequestLine * 4) { ¦ mintlux_server_tests ¦ server/mintlux_server_tests ¦ *
server/http/HttpConnection.cpp ¦ : consumed) > limits.maxHeaderBytes) { ¦ : consumed) > limits.maxHeaderBytes * 4) { ¦ mintlux_server_tests ¦ server/mintlux_server_tests ¦ *
server/PriceDocuments.cpp ¦ entry.staleAt = *oldest + kStaleAfter; ¦ entry.staleAt = *newest + kStaleAfter; ¦ mintlux_server_tests ¦ server/mintlux_server_tests ¦ *
server/PricingService.cpp ¦ m_clock->now() >= *oldest + PriceDocuments::kStaleAfter; ¦ m_clock->now() >= *newest + PriceDocuments::kStaleAfter; ¦ mintlux_server_tests ¦ server/mintlux_server_tests ¦ *
Mintlux/VaultMetalCard.cpp ¦ QStringLiteral("+\u2212\u207A\u207B\u208A\u208B\u2795\u2796\uFB29\uFE62\uFF0B"); ¦ QStringLiteral("+\u2212"); ¦ mintlux_window_tests ¦ mintlux_window_tests ¦ VaultWindow*
core/market/Decimal.h ¦ const auto magnitude = static_cast<std::uint64_t>(static_cast<std::int64_t>(value)); ¦ const auto magnitude = static_cast<std::uint64_t>(static_cast<std::make_unsigned_t<T>>(value)); ¦ mintlux_core_tests ¦ mintlux_core_tests ¦ Decimal*
core/market/Decimal.cpp ¦ if (c.unicode() > 0x7f) { ¦ if (c.unicode() > 0x7ff) { ¦ mintlux_core_tests ¦ mintlux_core_tests ¦ Decimal*
core/pricing/LatestPricesResponse.cpp ¦ if (prevClose) { ¦ if (prevClose && !prevClose->isZero()) { ¦ mintlux_core_tests ¦ mintlux_core_tests ¦ *
core/pricing/ServiceError.cpp ¦ if (status < 400) { ¦ if (status < 0) { ¦ mintlux_pricing_tests ¦ mintlux_pricing_tests ¦ HTTPPricing*
core/pricing/ServiceError.cpp ¦ out += QChar(0x2039); ¦ out += c; ¦ mintlux_pricing_tests ¦ mintlux_pricing_tests ¦ HTTPPricing*
core/persistence/VaultEntry.cpp ¦ const Decimal unitPrice = UnitConversion::convertPrice(tick.value(), tick.unit(), unit); ¦ const Decimal unitPrice = tick.value(); ¦ mintlux_persistence_tests ¦ mintlux_persistence_tests ¦ *
Mintlux/platform/TrayWindow.cpp ¦ m_onPress(event->globalPosition().toPoint()); ¦ m_onPress(event->position().toPoint()); ¦ mintlux_platform_x11_tests ¦ mintlux_platform_x11_tests ¦ XEmbed*
Mintlux/platform/SniStatusItem.cpp ¦ if (title == m_title) { ¦ if (false && title == m_title) { ¦ mintlux_platform_tests ¦ mintlux_platform_tests ¦ Sni*
Mintlux/ChartWindowController.cpp ¦ close->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Close)}); ¦ close->setShortcuts({QKeySequence(QKeySequence::Close)}); ¦ mintlux_e2e_tests ¦ mintlux_e2e_tests ¦ *TheWindowsOpen*
Mintlux/MenuBarController.cpp ¦ if (m_callbacks.onQuit) {\n                                          m_callbacks.onQuit(); ¦ if (false) {\n                                          m_callbacks.onQuit(); ¦ mintlux_e2e_tests ¦ mintlux_e2e_tests ¦ *TheRealApp*
Mintlux/SettingsView.cpp ¦ Currency::allCases().at(static_cast<std::size_t>(index)).rawValue(),\n                          SettingsKey::displayCurrency ¦ Currency::allCases().at(static_cast<std::size_t>(index + 1)).rawValue(),\n                          SettingsKey::displayCurrency ¦ mintlux_e2e_tests ¦ mintlux_e2e_tests ¦ *TheWindowsOpen*
Mintlux/MenuBarView.cpp ¦ PopoverIcons::Kind::quit, iconColor, m_callbacks.onQuit, this); ¦ PopoverIcons::Kind::quit, iconColor, {}, this); ¦ mintlux_e2e_tests ¦ mintlux_e2e_tests ¦ *TheWindowsOpen*
Mintlux/MenuBarView.cpp ¦ PopoverIcons::Kind::settings, iconColor, m_callbacks.onOpenSettings, this); ¦ PopoverIcons::Kind::settings, iconColor, m_callbacks.onOpenVault, this); ¦ mintlux_e2e_tests ¦ mintlux_e2e_tests ¦ *TheWindowsOpen*
core/json/Iso8601.cpp ¦ if (parseInternetDateTime(text, true, instant)) { ¦ if (parseInternetDateTime(text, true, instant) || parseInternetDateTime(text, false, instant)) { ¦ mintlux_core_tests ¦ mintlux_core_tests ¦ *
EOF
)

if [[ -n "$(git status --porcelain --untracked-files=no)" ]]; then
    echo "mutation-check: the tree has uncommitted changes; commit or stash them first" >&2
    exit 2
fi
if [[ ! -f $BUILD/build.ninja ]]; then
    echo "mutation-check: configure first (cmake --preset dev)" >&2
    exit 2
fi

CURRENT=""
restore() {
    if [[ -n $CURRENT ]]; then
        git checkout --quiet -- "$CURRENT"
        CURRENT=""
    fi
}
trap restore EXIT
trap 'restore; echo "mutation-check: interrupted" >&2; exit 130' INT TERM

# Replaces the one occurrence of $2 in file $1 with $3; exit 3 if absent, 4 if ambiguous.
apply() {
    python3 - "$@" <<'PY'
import sys
path, old, new = sys.argv[1], sys.argv[2].replace("\\n", "\n"), sys.argv[3].replace("\\n", "\n")
text = open(path, encoding="utf-8").read()
count = text.count(old)
if count != 1:
    sys.exit(3 if count == 0 else 4)
open(path, "w", encoding="utf-8").write(text.replace(old, new, 1))
PY
}

mapfile -t ENTRIES <<<"$FAULTS"
SELECTED=("$@")
if [[ ${#SELECTED[@]} -eq 0 ]]; then
    SELECTED=($(seq 1 ${#ENTRIES[@]}))
fi

# Every entry is checked against the tree before anything is built.
for n in "${SELECTED[@]}"; do
    IFS=$'\x1f' read -r file old new _ <<<"${ENTRIES[n - 1]// ¦ /$'\x1f'}"
    body=$(python3 -c 'import sys; print(open(sys.argv[1]).read().count(sys.argv[2].replace("\\n", "\n")))' \
        "$file" "$old" 2>/dev/null || echo 0)
    if [[ $body != 1 ]]; then
        echo "mutation-check: entry $n ($file): original text found $body times: $old" >&2
        exit 3
    fi
done

caught=0
missed=0
declare -A TOUCHED=()
for n in "${SELECTED[@]}"; do
    IFS=$'\x1f' read -r file old new target binary filter <<<"${ENTRIES[n - 1]// ¦ /$'\x1f'}"
    CURRENT=$file
    TOUCHED[$target]=1
    apply "$file" "$old" "$new" || { echo "mutation-check: entry $n could not be applied" >&2; exit 3; }
    label="#$n $file: ${old//\\n/ } -> ${new//\\n/ }"
    if ! cmake --build "$BUILD" -j2 --target "$target" >/tmp/mutation-build.$$ 2>&1; then
        # A fault that does not compile says nothing about the tests.
        echo "BUILD-FAIL $label"
        tail -5 /tmp/mutation-build.$$ >&2
        restore
        missed=$((missed + 1))
        continue
    fi
    # The end-to-end run needs a display and a session bus of its own, as under ctest.
    wrap=()
    if [[ $binary == mintlux_e2e_tests ]]; then
        wrap=(xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session --)
    fi
    # From the binary's own directory, where ctest runs it too.
    if (cd "$(dirname "$BUILD/tests/$binary")" && timeout 600 "${wrap[@]}" "$BUILD/tests/$binary" \
        --gtest_filter="$filter" --gtest_fail_fast >/tmp/mutation-run.$$ 2>&1); then
        echo "MISSED $label"
        missed=$((missed + 1))
    else
        echo "caught $label"
        caught=$((caught + 1))
    fi
    restore
done
rm -f /tmp/mutation-build.$$ /tmp/mutation-run.$$
# The binaries still hold the last fault applied to them; build them back from the clean tree.
if [[ ${#TOUCHED[@]} -gt 0 ]]; then
    cmake --build "$BUILD" -j2 --target "${!TOUCHED[@]}" >/dev/null 2>&1 ||
        echo "mutation-check: rebuilding the clean tree failed; build it before running tests" >&2
fi
echo "$caught caught, $missed missed"
[[ $missed -eq 0 ]]
