#include "GroupCaption.h"

#include "Language.h"

namespace vanta {

QString GroupCaption(uint32_t group, const TRecordChannel& first, const TMeasLookup& lookup) {
  TMeasInfo info;
  // The group is named after its measurement (the first curve's id); a
  // description of the group marker itself is the next best. A lookup that
  // knows an id but has no text for it is no description.
  for (const uint32_t id : {first.Id, group})
    if (lookup && lookup(id, info) && !info.Name.trimmed().isEmpty()) return info.Name.trimmed();
  const QString word = first.Name.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
  if (!word.isEmpty()) return word;
  return TTr::tr("Gruppe 0x%1").arg(QString::number(group, 16).toUpper().rightJustified(8, QLatin1Char('0')));
}

}  // namespace vanta
