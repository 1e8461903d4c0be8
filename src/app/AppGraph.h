#pragma once

#include "app/AppViewModel.h"
#include "bluetooth/BLEConnectionManager.h"
#include "bluetooth/ConnectionService.h"
#include "di2/Di2Parser.h"
#include "shifting/GearService.h"
#include "shifting/KeyboardService.h"
#include "shifting/UserDefaultsManager.h"

#include <memory>

class Analytics;
class BleCentral;
class Defaults;
class KeySink;

// The application's object graph, built once in the order the parts depend on each
// other: link, decoder, connection service, keyboard service, gear service, view model.
// Shared by the window and the headless mode.
class AppGraph
{
public:
    AppGraph(Defaults& defaults, Analytics& analytics, std::unique_ptr<BleCentral> central,
             std::unique_ptr<KeySink> keySink);
    ~AppGraph();

    Defaults& defaults() const { return m_defaults; }
    BleCentral& central() const { return *m_central; }
    KeySink& keySink() const { return *m_keySink; }
    // Why that sink was chosen, in words that follow "Keys are typed through ...:".
    const QString& keySinkReason() const { return m_keySinkReason; }
    void setKeySinkReason(const QString& reason) { m_keySinkReason = reason; }
    ConnectionService& connectionService() { return m_connectionService; }
    KeyboardService& keyboardService() { return m_keyboardService; }
    GearService& gearService() { return m_gearService; }
    AppViewModel& viewModel() { return m_viewModel; }

private:
    Defaults& m_defaults;
    UserDefaultsManager m_storage;
    std::unique_ptr<BleCentral> m_central;
    std::unique_ptr<KeySink> m_keySink;
    QString m_keySinkReason;
    BLEConnectionManager m_ble;
    Di2Parser m_parser;
    ConnectionService m_connectionService;
    KeyboardService m_keyboardService;
    GearService m_gearService;
    AppViewModel m_viewModel;
};
