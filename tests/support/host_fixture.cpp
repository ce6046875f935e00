#include "support/host_fixture.h"

namespace kstest {

namespace {

kshost::Button* ItemAt(kshost::Popup* menu, size_t index) {
    if (!menu || menu->Items().Size() <= index) return nullptr;
    return dynamic_cast<kshost::Button*>(&menu->Items().At(index));
}

}  // namespace

void HostFixture::SetUp() {
    outlook = std::make_unique<kshost::Outlook>();
    ASSERT_EQ(S_OK, addin.Create(kstest::kAddinProgId));
}

void HostFixture::TearDown() {
    // As Outlook does when it unloads the add-in (the COM Add-ins dialog):
    // sinks left advised would keep the add-in and
    // the host's windows alive for the rest of the test program.
    if (addin.Created()) addin.Disconnect();
    addin.Release();
    outlook.reset();
}

void HostFixture::UseHostWithoutMainWindow() {
    outlook = std::make_unique<kshost::Outlook>(false);
}

kshost::Popup* HostFixture::Menu() {
    if (!outlook->MainWindow() || !outlook->MainWindow()->CommandBarsObject().MenuBar()) return nullptr;
    return dynamic_cast<kshost::Popup*>(outlook->MenuBarControls().FindByTag(L"KestrinSelectATL"));
}

kshost::Button* HostFixture::HelpItem() { return ItemAt(Menu(), 0); }
kshost::Button* HostFixture::AboutItem() { return ItemAt(Menu(), 1); }

bool AddinBuildsLegacyMenu() {
    static const bool builds = [] {
        kshost::Outlook probe;
        kshost::LoadedAddIn addin;
        if (FAILED(addin.Create(kstest::kAddinProgId))) return false;
        addin.Connect(probe);
        bool found = probe.MenuBarControls().FindByTag(L"KestrinSelectATL") != nullptr;
        addin.Disconnect();
        return found;
    }();
    return builds;
}

}  // namespace kstest
