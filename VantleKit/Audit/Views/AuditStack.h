#pragma once

class QBoxLayout;
class QWidget;

// Leading-aligned vertical stacks in Qt layouts.
namespace AuditStack {

// Adds `widget` to a vertical stack, leading-aligned: a widget that can grow sideways (a
// wrapping text, a chip row) takes the stack's width; one of fixed width (a stepper, a
// button) keeps its own width at the leading edge instead of being centred.
void addLeading(QBoxLayout *layout, QWidget *widget);

// `content` with `top` of room above it. The room is outside the content, so a scroll to the
// content brings the content itself, not the room, to the top, and hiding the wrapper hides
// the room with it.
QWidget *roomAbove(QWidget *content, int top);

} // namespace AuditStack
