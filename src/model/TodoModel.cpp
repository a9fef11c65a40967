#include "TodoModel.h"

#include "TODOItem.h"
#include "TODOList.h"

namespace {

ObjectModel buildModel()
{
    using T = AttributeType;
    const auto text = [](const char *name) { return AttributeDescription{QString::fromLatin1(name), T::Text}; };
    const auto int32 = [](const char *name) { return AttributeDescription{QString::fromLatin1(name), T::Int32}; };
    const auto int64 = [](const char *name) { return AttributeDescription{QString::fromLatin1(name), T::Int64}; };
    const auto date = [](const char *name) { return AttributeDescription{QString::fromLatin1(name), T::Date}; };
    const auto binary = [](const char *name) { return AttributeDescription{QString::fromLatin1(name), T::Binary}; };

    QVector<EntityDescription> entities;
    entities.append(EntityDescription(TODOList::EntityName, TODOList::attributeDescriptions(),
                                      TODOList::relationshipDescriptions(), [] { return new TODOList; }));
    entities.append(EntityDescription(TODOItem::EntityName, TODOItem::attributeDescriptions(),
                                      TODOItem::relationshipDescriptions(), [] { return new TODOItem; }));
    entities.append(EntityDescription(
        QStringLiteral("Settings"),
        {int32("lastVisitedList"), int32("lastListIndex"), text("email"), int32("autoSyncing"),
         int32("multipleLists"), text("textFirstQuadrant"), text("textSecondQuadrant"), text("textThirdQuadrant"),
         text("textFourthQuadrant"), text("colorFirstQuadrant"), text("colorSecondQuadrant"),
         text("colorThirdQuadrant"), text("colorFourthQuadrant")}));
    entities.append(EntityDescription(QStringLiteral("CurrentUser"), {text("email")}));
    entities.append(EntityDescription(
        QStringLiteral("InstantSyncStatus"),
        {text("email"), date("lastProjectPollingDate"), date("lastProjectPollingDateWithResults"),
         date("lastItemPollingDate"), date("lastItemPollingDateWithResults"), int32("userWentOffline")}));
    entities.append(EntityDescription(
        QStringLiteral("CollaborationStatus"),
        {text("email"), binary("cachedOwnersByProject"), binary("cachedOwnersByProjectDates"),
         binary("cachedCollaboratorsByEmail"), binary("cachedMe"), binary("cachedFollowersByItem"),
         binary("cachedFollowersByItemDates")}));
    // Cloud user identifiers outgrow 32 bits.
    entities.append(EntityDescription(
        QStringLiteral("BoxConfig"),
        {text("currentUserEmail"), int64("boxUserID"), text("rootFolderID"), text("boxFolderPathInMac")}));

    return ObjectModel(TodoModel::modelName(), TodoModel::Version, std::move(entities));
}

} // namespace

const ObjectModel &todoListModel()
{
    static const ObjectModel model = buildModel();
    return model;
}

namespace TodoModel {

QString modelName()
{
    return QStringLiteral("todo_list_mac");
}

QString storeFileName()
{
    return QStringLiteral("corvane_2_%1.sqlite").arg(Version);
}

} // namespace TodoModel

namespace Quadrant {

QString defaultTitle(int quadrant)
{
    switch (quadrant) {
    case First:
        return QStringLiteral("Critical and Immediate");
    case Second:
        return QStringLiteral("Critical but Not Immediate");
    case Third:
        return QStringLiteral("Not Critical but Immediate");
    case Fourth:
        return QStringLiteral("Uncategorized");
    default:
        return QString();
    }
}

QString defaultColor(int quadrant)
{
    const auto color = [](double red, double green, double blue, double alpha) {
        return QString::asprintf("{%f, %f, %f, %f}", red, green, blue, alpha);
    };
    switch (quadrant) {
    case First:
        return color(221 / 255.0, 243 / 255.0, 173 / 255.0, 1);
    case Second:
        return color(198 / 255.0, 232 / 255.0, 1, 1);
    case Third:
        return color(122 / 255.0, 193 / 255.0, 108 / 255.0, 1);
    case Fourth:
        return color(1, 1, 1, 1);
    default:
        return QString();
    }
}

} // namespace Quadrant

namespace Effort {

QString text(int code)
{
    switch (code) {
    case NoEffort:
        return QStringLiteral("No effort");
    case OneToTwoHours:
        return QStringLiteral("1-2 hours");
    case HalfADay:
        return QStringLiteral("Half a day");
    case OneDay:
        return QStringLiteral("One day");
    case HalfAWeek:
        return QStringLiteral("Half a week");
    case OneWeek:
        return QStringLiteral("One week");
    case TwoWeeks:
        return QStringLiteral("Two weeks");
    case OneMonth:
        return QStringLiteral("One month");
    case SeveralMonths:
        return QStringLiteral("Several months");
    default:
        return QString();
    }
}

} // namespace Effort
