#include "view/treecheckstate.h"

#include <QTreeWidgetItem>

void updateParentCheckState(QTreeWidgetItem *item)
{
    QTreeWidgetItem *parent = item->parent();
    if (!parent)
        return;
    int checked = 0;
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->checkState(0) == Qt::Checked)
            ++checked;
    const Qt::CheckState state = checked == 0                      ? Qt::Unchecked
                                 : checked == parent->childCount() ? Qt::Checked
                                                                   : Qt::PartiallyChecked;
    if (parent->checkState(0) != state)
        parent->setCheckState(0, state);
}
