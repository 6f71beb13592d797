#include "settings/settings_page.h"

#include "dbx/platform.h"
#include "run/page_state.h"
#include "run/run.h"
#include "settings/startup.h"

namespace orlune {

namespace {

constexpr int kMainTab = 0;
constexpr int kSettingsTab = 1;

constexpr int16_t kBackspace = 8;
constexpr int16_t kPoint = 46;
constexpr int16_t kDigitZero = 48;
constexpr int16_t kDigitNine = 57;
constexpr int16_t kLetterN = 110;

int selectedStyle(const Run& run) {
    return run.form.at("cboTextStyle").listIndex;
}

}  // namespace

void Key_Filter(Run& run, int16_t& keyAscii) {
    const bool accepted = keyAscii == kBackspace || keyAscii == kPoint ||
                          (keyAscii >= kDigitZero && keyAscii <= kDigitNine) || keyAscii == kLetterN;
    if (accepted) {
        run.settings.SettingsChanged = true;
    } else {
        keyAscii = 0;
    }
}

void Text1_KeyPress(Run& run, int16_t& keyAscii) {
    Key_Filter(run, keyAscii);
}
void Text2_KeyPress(Run& run, int16_t& keyAscii) {
    Key_Filter(run, keyAscii);
}
void Text3_KeyPress(Run& run, int16_t& keyAscii) {
    Key_Filter(run, keyAscii);
}

void Check1_Click(Run& run) {
    run.settings.SettingsChanged = true;
}

void cboTextStyle_Change(Run& run) {
    if (run.settings.SettingsLoaded) run.settings.SettingsChanged = true;
}

void SSTab1_Click(Run& run, int /*previousTab*/) {
    if (!run.settings.SettingsLoaded) return;

    const bool settingsSelected = run.form.selectedTab == kSettingsTab;
    // The settings tab stays closed over the utilities and status pages and
    // while a command holds the design.
    if (settingsSelected &&
        (run.page.ActivePage == kPageUtils || run.page.ActivePage == kPageStatus || run.connection.DesignOpen)) {
        Select_Tab(run, kMainTab);
        Restore_Focus(run);
        return;
    }

    if (run.page.ActivePage == kPageSettings) {
        if (selectedStyle(run) != run.settings.SavedStyleIndex) run.settings.SettingsChanged = true;
        if (run.settings.SettingsChanged) {
            const Answer answer = run.platform.messageBox("Your settings is changed !!!\r   Do you want update ?",
                                                          "Question", Icon::Question, Buttons::YesNo);
            run.settings.SettingsChanged = false;
            if (answer == Answer::Yes) Command5_Click(run);
        }
        run.page.ActivePage = kPageMain;
        En_DisableMainMenu(run, true);
    }

    if (run.page.ActivePage == kPageMain && !run.connection.DesignOpen) {
        if (run.form.selectedTab == kSettingsTab) {
            run.page.ActivePage = kPageSettings;
            run.settings.SavedStyleIndex = selectedStyle(run);
            // The page's first field, not its Update: a Space must not
            // store the distances unasked.
            run.form.setFocus("cboTextStyle");
        } else {
            Restore_Focus(run);
        }
    }
}

void Select_Tab(Run& run, int tab) {
    if (run.form.selectedTab == tab) return;
    const int previous = run.form.selectedTab;
    run.form.selectedTab = tab;
    SSTab1_Click(run, previous);
}

}  // namespace orlune
