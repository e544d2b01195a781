#ifndef TREECHECKSTATE_H
#define TREECHECKSTATE_H

class QTreeWidgetItem;

// Gives an item's parent the check state its children add up to: unchecked
// when none is checked, checked when all are, partially checked otherwise.
// Nothing happens to an item without a parent, or when the state is already right.
void updateParentCheckState(QTreeWidgetItem *item);

#endif // TREECHECKSTATE_H
