#include "Vantle/Models/LedgerModel.h"

#include "tools/fakes/FakeLedgerService.h"
#include "support/TaskRunner.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

using Fakes::FakeLedgerService;
using Fakes::ScriptedAnswer;
using TestSupport::runTask;
using TestSupport::waitUntil;

namespace {

VantCategory category(const QString &name, CategoryKind kind, qint64 position, bool archived = false)
{
    VantCategory c;
    c.id = QStringLiteral("id_") + name;
    c.name = name;
    c.kind = kind;
    c.position = position;
    c.archived = archived;
    return c;
}

QStringList names(const QList<VantCategory> &categories)
{
    QStringList out;
    for (const VantCategory &c : categories)
        out.append(c.name);
    return out;
}

class LedgerModelTest : public ::testing::Test {
protected:
    std::unique_ptr<LedgerModel> makeModel()
    {
        auto api = std::make_shared<VantleAPI>(
            m_service.ledgerURL(), []() { return std::optional<QString>(QStringLiteral("oas_t")); }, &m_network);
        return std::make_unique<LedgerModel>(api);
    }

    QNetworkAccessManager m_network;
    FakeLedgerService m_service;
};

TEST_F(LedgerModelTest, VisibleCategoriesAreTrackableOnesByPosition)
{
    auto model = makeModel();
    model->setCategories({
        category(QStringLiteral("Reading"), CategoryKind::yours, 4),
        category(QStringLiteral("Sleep"), CategoryKind::sleep, 0),
        category(QStringLiteral("Work"), CategoryKind::committed, 1),
        category(QStringLiteral("Old"), CategoryKind::committed, 2, true),
        category(QStringLiteral("Gap"), CategoryKind::unaccounted, 3),
        category(QStringLiteral("People"), CategoryKind::committed, 3),
        category(QStringLiteral("Music"), CategoryKind::yours, 4),
    });
    // Equal positions keep the service's order.
    EXPECT_EQ(names(model->visibleCategories()),
              (QStringList{QStringLiteral("Work"), QStringLiteral("People"), QStringLiteral("Reading"),
                           QStringLiteral("Music")}));

    model->setCategories({
        category(QStringLiteral("Sleep"), CategoryKind::sleep, 0),
        category(QStringLiteral("Old"), CategoryKind::yours, 1, true),
    });
    EXPECT_TRUE(model->visibleCategories().isEmpty());
}

TEST_F(LedgerModelTest, RefreshLoadsTheCategoriesAndNotifiesOnlyOnChange)
{
    m_service.addCategory(QStringLiteral("Work"), QStringLiteral("committed"), 0);
    auto model = makeModel();
    QSignalSpy categories(model.get(), &LedgerModel::categoriesChanged);
    QSignalSpy loaded(model.get(), &LedgerModel::didLoadCategoriesChanged);

    runTask(model->refresh());
    EXPECT_EQ(names(model->categories()), QStringList{QStringLiteral("Work")});
    EXPECT_TRUE(model->didLoadCategories());
    runTask(model->refresh());
    EXPECT_EQ(categories.count(), 1);
    EXPECT_EQ(loaded.count(), 1);

    const auto request = m_service.requests().first();
    EXPECT_EQ(request.path, QStringLiteral("/api/v1/categories"));
    EXPECT_EQ(request.header("Authorization"), QByteArray("Bearer oas_t"));
}

TEST_F(LedgerModelTest, AFailedRefreshChangesNothing)
{
    auto model = makeModel();
    model->setCategories({category(QStringLiteral("Work"), CategoryKind::committed, 0)});
    QSignalSpy categories(model.get(), &LedgerModel::categoriesChanged);
    m_service.failNext(QStringLiteral("GET"), QString::fromLatin1(FakeLedgerService::categoriesPath), 500, {});
    m_service.enqueue(QStringLiteral("GET"), QString::fromLatin1(FakeLedgerService::categoriesPath),
                      ScriptedAnswer::json(200, "{\"categories\":{}}"));

    EXPECT_NO_THROW(runTask(model->refresh()));
    EXPECT_NO_THROW(runTask(model->refresh()));
    EXPECT_EQ(categories.count(), 0);
    EXPECT_FALSE(model->didLoadCategories());
    EXPECT_EQ(m_service.requests().size(), 2);
}

TEST_F(LedgerModelTest, AnOlderAnswerDoesNotOverwriteANewerOne)
{
    auto model = makeModel();
    ScriptedAnswer slow = ScriptedAnswer::json(200, R"({"categories":[]})");
    slow.delay = std::chrono::milliseconds(300);
    m_service.enqueue(QStringLiteral("GET"), QString::fromLatin1(FakeLedgerService::categoriesPath), slow);
    m_service.addCategory(QStringLiteral("Work"), QStringLiteral("committed"), 0);

    QCoro::Task<void> older = model->refresh();
    ASSERT_TRUE(waitUntil([this] { return m_service.requests().size() == 1; }));
    runTask(model->refresh());
    runTask(std::move(older));
    EXPECT_EQ(names(model->categories()), QStringList{QStringLiteral("Work")});
}

TEST_F(LedgerModelTest, TheModelMayDieDuringARefresh)
{
    ScriptedAnswer slow = ScriptedAnswer::json(200, R"({"categories":[]})");
    slow.delay = std::chrono::milliseconds(100);
    m_service.enqueue(QStringLiteral("GET"), QString::fromLatin1(FakeLedgerService::categoriesPath), slow);
    auto model = makeModel();
    QCoro::Task<void> running = model->refresh();
    model.reset();
    EXPECT_NO_THROW(runTask(std::move(running)));
}

} // namespace
