#pragma once

#include "ValueTransformer.h"

#include <QColor>
#include <QImage>

// The display transformers the windows' bindings name. Each turns one kind of
// stored value into what a control shows; only DiscretizeTransformer turns
// it back. Dates are shown in the user's locale; "today" is Clock::now()'s
// calendar day in local time.

// Declares what a transformer answers.
template <class Result>
class TransformerTo : public ValueTransformer
{
public:
    QMetaType transformedValueClass() const override { return QMetaType::fromType<Result>(); }
};

// An icon file name: the application's image of that name, none when there is none.
class ImageTransformer : public TransformerTo<QImage>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};

// An item: its icon with the due-date badge at a quadrant row's height; none
// for an item without a due date whose icon is absent, the default or the check mark.
class ImageTransformerEnhanced : public TransformerTo<QImage>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};

// As ImageTransformerEnhanced, but an absent, default or check-mark icon has a
// picture only while the item's due date is today or later (the master list).
class ImageTransformerMasterList : public TransformerTo<QImage>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};

// A completion percentage: "50% complete".
class PercentageTransformer : public TransformerTo<QString>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};

// A number's integer part, both ways (a level indicator's value).
class DiscretizeTransformer : public TransformerTo<int>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
    QVariant reverseTransformedValue(const QVariant &value) const override;
    bool allowsReverseTransformation() const override { return true; }
};

// A completion percentage as a check box's state: 1 above 99, else 0.
// Declares text as its result class, as it always has.
class PercentageToStateTransformer : public TransformerTo<QString>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};

// A date in the locale's long date format, without time; "---" for none.
class DateToStringTransformer : public TransformerTo<QString>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};

// Seconds since the Unix epoch as a moment with date and time; "---" below 1.
class EpochToStringTransformer : public TransformerTo<QString>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};

// A date's abbreviated weekday name; the empty text for none.
class NSDateToDayOfTheWeekTransformer : public TransformerTo<QString>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};

// A due date's text colour: dark red when its day lies before today, else black.
class FontColorFromDueDate : public TransformerTo<QColor>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};

// A recurrence: yes unless absent, empty or "Never".
class IsNotNeverOrNilValueTransformer : public TransformerTo<bool>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};

// A number as text; "0" for none and for anything that is not a number.
class NSNumberToNSString : public TransformerTo<QString>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};

// An effort code 0 to 8 as a duration ("Half a day"); the empty text otherwise.
class EffortValueToDurationString : public TransformerTo<QString>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};

// A collection's number of elements as text.
class CounterFirstQuadrantTransformer : public TransformerTo<QString>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};

// A colour text "{r, g, b, a}" as a colour; white when it does not parse.
class StringToColorTransformer : public TransformerTo<QColor>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};

// Yes exactly for the text "init".
class IsInitStringValueTransformer : public TransformerTo<bool>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};

// No for none and for 0.
class IsNotNilOrZero : public TransformerTo<bool>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};

// A sync status: yes for none and for "Syncing...".
class IsSyncingTransformer : public TransformerTo<bool>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};

// No for none and for the empty text.
class IsNotNilOrEmptyString : public TransformerTo<bool>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};

// Yes when a value is present (registered as "NSIsNotNil").
class IsNotNil : public TransformerTo<bool>
{
public:
    QVariant transformedValue(const QVariant &value) const override;
};
