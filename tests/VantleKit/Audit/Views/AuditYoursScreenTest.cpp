#include "AuditFlowFixture.h"

#include "VantleKit/Audit/Views/AuditLabel.h"
#include "VantleKit/Audit/Views/AuditPrimaryButton.h"
#include "VantleKit/Audit/Views/AuditRemoveButton.h"
#include "VantleKit/Audit/Views/AuditStepButton.h"
#include "VantleKit/Audit/Views/AuditStepper.h"
#include "VantleKit/Audit/Views/AuditTextInput.h"
#include "VantleKit/Audit/Views/AuditYoursRow.h"

#include <gtest/gtest.h>

namespace {

using AuditDriver::Motion;

// The yours step over a week with 38 hours left over (work 45, upkeep 14, family 15).
AuditState yoursState(QList<YoursCategoryDraft> rows)
{
    AuditState state = dashState();
    state.v = {45, 14, 15};
    state.yoursCats = std::move(rows);
    state.screen = AuditScreen::yours;
    return state;
}

TEST(AuditYoursScreen, TheStatusLineSaysWhatIsLeft)
{
    struct Case {
        const char *name;
        QList<YoursCategoryDraft> rows;
        QString status;
        AuditRole color;
        bool submittable;
    };
    const Case cases[] = {
        {"the first visit", {{"", 1}}, "Give every row a name.", AuditRole::muted, false},
        {"a named row", {{"Guitar", 1}}, "37 of 38 still unclaimed.", AuditRole::muted, true},
        {"half an hour left", {{"Guitar", 37.5}}, "½ of 38 still unclaimed.", AuditRole::muted, true},
        {"a name of spaces", {{"Guitar", 1}, {"   ", 1}}, "Give every row a name.", AuditRole::muted, false},
        {"every hour", {{"Guitar", 30}, {"Rest", 8}}, "Every hour claimed.", AuditRole::muted, true},
        {"too much wins over unnamed", {{"Guitar", 39}, {"", 1}}, "That's 40 claimed. You have 38. Trim something.",
         AuditRole::danger, false},
    };
    for (const Case &c : cases) {
        AuditFlowWindow w(yoursState(c.rows));
        auto *status = w.find<AuditLabel>("audit.yours.status");
        EXPECT_EQ(status->text(), c.status) << c.name;
        EXPECT_EQ(status->colorRole(), c.color) << c.name;
        EXPECT_EQ(w.find<AuditLabel>("audit.yours.title")->text(), "What are your 38 hours FOR?") << c.name;
        auto *submit = w.find<AuditPrimaryButton>("audit.yours.submit");
        EXPECT_EQ(submit->text(), "Start tracking") << c.name;
        EXPECT_EQ(submit->isEnabled(), c.submittable) << c.name;
        EXPECT_FALSE(submit->isDefault()) << c.name;
    }
}

TEST(AuditYoursScreen, RowsAddRemoveAndNameTheirControls)
{
    Motion still(true);
    AuditFlowWindow w(yoursState({{"", 1}}));
    auto *row0 = w.find<AuditYoursRow>("audit.yours.row.0");
    EXPECT_FALSE(row0->removeButton()->isVisible());
    EXPECT_EQ(row0->removeButton()->accessibleName(), "Remove this");
    EXPECT_EQ(row0->stepper()->decButton()->accessibleName(), "Fewer hours for this");

    AuditDriver::type(row0->nameInput(), " Guitar ");
    EXPECT_EQ(w.state().yoursCats.at(0).name, " Guitar ");
    EXPECT_EQ(row0->stepper()->incButton()->accessibleName(), "More hours for Guitar");

    for (int i = 0; i < 6; ++i)
        w.click("audit.yours.add");
    EXPECT_EQ(w.state().yoursCats.size(), 5);
    EXPECT_FALSE(w.find("audit.yours.add")->isVisible());
    EXPECT_TRUE(row0->removeButton()->isVisible());

    // Removing the first row moves the others up; the add button comes back.
    w.store().yoursSetName(1, QStringLiteral("Rest"));
    ASSERT_TRUE(AuditDriver::click(row0->removeButton()));
    EXPECT_EQ(w.state().yoursCats.size(), 4);
    EXPECT_EQ(row0->nameInput()->text(), "Rest");
    EXPECT_TRUE(w.find("audit.yours.add")->isVisible());
    EXPECT_FALSE(w.find("audit.yours.row.4")->isVisible());

    // Hours never fall below half an hour.
    for (int i = 0; i < 4; ++i)
        w.click("audit.yours.row.0.hours.dec");
    EXPECT_EQ(w.state().yoursCats.at(0).hours, 0.5);
    EXPECT_EQ(row0->stepper()->value(), "½");
}

TEST(AuditYoursScreen, TheButtonFollowsTheSubmission)
{
    struct Case {
        const char *name;
        bool submitting;
        std::optional<QString> error;
        QString title;
        bool enabled;
        bool box;
    };
    const Case cases[] = {
        {"editing", false, std::nullopt, "Start tracking", true, false},
        {"sending", true, std::nullopt, "Starting…", false, false},
        {"failed with a code", false, QStringLiteral("audit_exists"), "Try again", true, true},
        {"failed without one", false, QStringLiteral("network_error"), "Try again", true, true},
    };
    for (const Case &c : cases) {
        AuditFlowWindow w(yoursState({{"Guitar", 1}}));
        w.store().setIsSubmitting(c.submitting);
        w.store().setSubmitError(c.error);
        auto *submit = w.find<AuditPrimaryButton>("audit.yours.submit");
        EXPECT_EQ(submit->text(), c.title) << c.name;
        EXPECT_EQ(submit->isEnabled(), c.enabled) << c.name;
        auto *box = w.find<AuditLabel>("audit.yours.error");
        EXPECT_EQ(box->isVisible(), c.box) << c.name;
        if (c.error) {
            EXPECT_EQ(box->text(), "Couldn't save your week — your answers are safe. (" + *c.error + ")") << c.name;
        }
    }
}

TEST(AuditYoursScreen, BackKeepsTheRows)
{
    Motion still(true);
    AuditFlowWindow w(yoursState({{"Guitar", 3}, {"Rest", 2}}));
    ASSERT_TRUE(w.click("audit.yours.back"));
    EXPECT_EQ(w.state().screen, AuditScreen::dash);
    ASSERT_TRUE(w.click("audit.dash.next"));
    EXPECT_EQ(w.state().screen, AuditScreen::yours);
    EXPECT_EQ(w.state().yoursCats, (QList<YoursCategoryDraft>{{"Guitar", 3}, {"Rest", 2}}));
    EXPECT_EQ(w.find<AuditYoursRow>("audit.yours.row.1")->nameInput()->text(), "Rest");
}

} // namespace

namespace {

// A name longer than the inputs take (only an import brings one) shows whole while the step
// was never on screen, cut once it has been: either way the row holds, and would send, what
// the person sees.
TEST(AuditYoursScreen, ARowHoldsTheNameItShows)
{
    Motion still(true);
    const QString name = QStringLiteral("The long walk home along the river, every day"); // 46
    ASSERT_GT(name.size(), AuditTextInput::maxCharacters);
    for (const bool seen : {false, true}) {
        SCOPED_TRACE(seen ? "the step was on screen" : "the step was never shown");
        AuditState start = yoursState({{"Guitar", 1}});
        if (!seen)
            start.screen = AuditScreen::dash;
        AuditFlowWindow w(start);
        w.store().hydrate(ImportedAudit{w.state().s, {}, QList<YoursCategoryDraft>{{name, 2}}});
        w.store().show(AuditScreen::yours);
        AuditDriver::settle();
        auto *input = w.find<AuditTextInput>("audit.yours.row.0.name");
        EXPECT_EQ(input->text(), w.state().yoursCats.first().name);
        EXPECT_EQ(input->text(), seen ? name.left(AuditTextInput::maxCharacters) : name);
    }
}

} // namespace
