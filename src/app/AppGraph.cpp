#include "app/AppGraph.h"

#include "bluetooth/BleCentral.h"
#include "shifting/KeySink.h"

AppGraph::AppGraph(Defaults& defaults, Analytics& analytics, std::unique_ptr<BleCentral> central,
                   std::unique_ptr<KeySink> keySink)
    : m_defaults(defaults)
    , m_storage(defaults)
    , m_central(std::move(central))
    , m_keySink(std::move(keySink))
    , m_ble(*m_central)
    , m_connectionService(m_ble, m_parser, defaults, analytics)
    , m_keyboardService(m_storage, *m_keySink, analytics)
    , m_gearService(m_storage)
    , m_viewModel(m_connectionService, m_keyboardService, m_gearService)
{}

AppGraph::~AppGraph() = default;
