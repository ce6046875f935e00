// The add-in created through COM and connected to a stand-in Outlook, as
// Outlook does at start-up, with what a test needs to look at both sides.
#pragma once

#include <windows.h>
#include <memory>

#include <gtest/gtest.h>

#include "host/outlook/addin_site.h"
#include "support/addin_dll.h"

namespace kstest {

class HostFixture : public ::testing::Test {
protected:
    // A host with a main window, and the add-in created (not yet connected).
    void SetUp() override;
    void TearDown() override;

    // OnConnection as at start-up.
    HRESULT Connect() { return addin.Connect(*outlook); }
    HRESULT Disconnect() { return addin.Disconnect(); }
    // Replaces the host by one without a main window.
    void UseHostWithoutMainWindow();

    // The add-in's menu on the main window's menu bar, or null.
    kshost::Popup* Menu();
    // The menu's items, or null when absent.
    kshost::Button* HelpItem();
    kshost::Button* AboutItem();
    // Whether the add-in module may be unloaded (no object alive, no lock).
    HRESULT CanUnloadNow() const { return dll.CanUnloadNow(); }

    std::unique_ptr<kshost::Outlook> outlook;
    kshost::LoadedAddIn addin;
    AddinLibrary dll;  // the module COM loaded, for its exports
};

// Whether the add-in installs its menu on the main window's menu bar when it
// is connected (probed once, on a host of its own).
bool AddinBuildsLegacyMenu();

}  // namespace kstest
