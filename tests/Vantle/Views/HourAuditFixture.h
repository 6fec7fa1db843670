#pragma once

#include "Vantle/Models/LedgerModel.h"
#include "Vantle/Views/HourAuditView.h"

#include "VantleKit/Audit/AuditMath.h"
#include "VantleKit/Audit/AuditStore.h"
#include "VantleKit/Audit/Views/AuditDriver.h"
#include "VantleKit/Audit/Views/AuditFlowView.h"

#include "tools/fakes/FakeLedgerService.h"
#include "support/CountingNetwork.h"
#include "support/TaskRunner.h"

#include <QNetworkAccessManager>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

// The Hour Audit's host in a window of its own over a ledger on the fake ledger service,
// the way the root view shows it: once the categories have loaded and none is visible.
class HourAuditFixture : public ::testing::Test {
protected:
    static constexpr const char *auditPath = Fakes::FakeLedgerService::auditPath;
    static constexpr const char *categoriesPath = Fakes::FakeLedgerService::categoriesPath;

    void build(std::chrono::milliseconds pollInterval = std::chrono::hours(1), QUrl ledgerURL = {})
    {
        if (ledgerURL.isEmpty())
            ledgerURL = m_service.ledgerURL();
        auto api = std::make_shared<VantleAPI>(
            ledgerURL, VantleAPI::SessionTokenReader([] { return std::optional<QString>(QStringLiteral("oas_audit")); }),
            &m_network);
        m_ledger = std::make_unique<LedgerModel>(api);
        m_ledger->setDidLoadCategories(true);
        m_view = new HourAuditView(m_ledger.get());
        m_view->setPollInterval(pollInterval);
        m_view->resize(960, 680);
        m_view->show();
        m_view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_view));
        AuditDriver::settle();
    }

    void TearDown() override
    {
        delete m_view.data();
        m_ledger.reset();
    }

    AuditStore &store() const { return *m_view->store(); }
    const AuditState &state() const { return m_view->store()->state(); }
    template <typename T = QWidget>
    T *find(const QString &name) const
    {
        return AuditDriver::find<T>(m_view, name);
    }
    bool click(const QString &name) const { return AuditDriver::click(find(name)); }

    // Straight to the yours step with one named row, the answers as they start.
    void readyToSubmit()
    {
        AuditState state = AuditState::initial();
        state.enterDash();
        state.screen = AuditScreen::yours;
        state.yoursSetName(0, QStringLiteral("Reading"));
        store().setState(state);
        AuditDriver::settle();
    }

    int posts() const { return m_service.countOf(QStringLiteral("POST"), QString::fromLatin1(auditPath)); }
    int gets() const { return m_service.countOf(QStringLiteral("GET"), QString::fromLatin1(categoriesPath)); }
    QStringList visibleNames() const
    {
        QStringList names;
        for (const VantCategory &category : m_ledger->visibleCategories())
            names.append(category.name);
        return names;
    }

    TestSupport::CountingNetwork m_network;
    Fakes::FakeLedgerService m_service;
    std::unique_ptr<LedgerModel> m_ledger;
    QPointer<HourAuditView> m_view;
};
