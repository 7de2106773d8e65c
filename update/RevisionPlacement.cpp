#include "update/RevisionPlacement.h"

#include <algorithm>

RevisionPlaces PlaceRevisions(const RevisionWidths& widths, const LabelRect& sentence, int clientWidth)
{
    const int oldWidth = widths.oldRevision + 2;
    const int gap = widths.throughGap - widths.beforeGap;
    const int oldLeft = sentence.left + widths.beforeGap + std::max(0, (gap - oldWidth) / 2);

    const int newLeft = sentence.left + widths.sentenceAndSpace;
    const int newWidth = std::min(widths.newRevision + 2, clientWidth - newLeft);
    return {{oldLeft, sentence.top, oldWidth, sentence.height}, {newLeft, sentence.top, newWidth, sentence.height}};
}
