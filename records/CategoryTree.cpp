#include "records/CategoryTree.h"

#include "platform/base/Guard.h"

#include <algorithm>

TCategoryNode::~TCategoryNode()
{
    std::vector<std::unique_ptr<TCategoryNode>> pending = std::move(m_children);
    while (!pending.empty()) {
        std::unique_ptr<TCategoryNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->m_children)
            pending.push_back(std::move(child));
        node->m_children.clear();
    }
}

TCategoryNode* TCategoryNode::Child(int row) const
{
    return row >= 0 && row < ChildCount() ? m_children[size_t(row)].get() : nullptr;
}

int TCategoryNode::Row() const
{
    if (!m_parent)
        return -1;
    const auto& siblings = m_parent->m_children;
    const auto found = std::find_if(siblings.begin(), siblings.end(), [&](const auto& n) { return n.get() == this; });
    return int(found - siblings.begin());
}

bool TCategoryNode::IsBelow(const TCategoryNode* ancestor) const
{
    for (const TCategoryNode* node = m_parent; node; node = node->m_parent) {
        if (node == ancestor)
            return true;
    }
    return false;
}

TCategoryTree::TCategoryTree()
    : m_root(new TCategoryNode(nullptr, QString()))
{
}

TCategoryNode* TCategoryTree::InsertNode(TCategoryNode* parent, int row, const QString& text)
{
    TCategoryNode* node = nullptr;
    Guarded("function TCategoryTree.InsertNode(Parent: TCategoryNode; Row: integer; Text: string): TCategoryNode", [&] {
        if (!parent)
            return;
        row = std::clamp(row, 0, parent->ChildCount());
        if (m_observer)
            m_observer->NodesAboutToBeInserted(parent, row, row);
        std::unique_ptr<TCategoryNode> created(new TCategoryNode(parent, text));
        node = created.get();
        parent->m_children.insert(parent->m_children.begin() + row, std::move(created));
        if (m_observer)
            m_observer->NodesInserted();
    });
    return node;
}

TCategoryNode* TCategoryTree::AddNode(TCategoryNode* parent, const QString& text)
{
    return InsertNode(parent, parent ? parent->ChildCount() : 0, text);
}

bool TCategoryTree::MoveNode(TCategoryNode* node, TCategoryNode* newParent, int row)
{
    bool moved = false;
    Guarded("function TCategoryTree.MoveNode(Node, NewParent: TCategoryNode; Row: integer): boolean", [&] {
        if (!node || !newParent || !node->m_parent || newParent == node || newParent->IsBelow(node))
            return;
        TCategoryNode* oldParent = node->m_parent;
        const int oldRow = node->Row();
        row = std::clamp(row, 0, newParent->ChildCount());
        if (oldParent == newParent && (row == oldRow || row == oldRow + 1)) {
            moved = true; // already there
            return;
        }
        if (m_observer)
            m_observer->NodeAboutToBeMoved(oldParent, oldRow, newParent, row);
        std::unique_ptr<TCategoryNode> taken = std::move(oldParent->m_children[size_t(oldRow)]);
        oldParent->m_children.erase(oldParent->m_children.begin() + oldRow);
        if (oldParent == newParent && row > oldRow)
            --row;
        taken->m_parent = newParent;
        newParent->m_children.insert(newParent->m_children.begin() + row, std::move(taken));
        moved = true;
        if (m_observer)
            m_observer->NodeMoved();
    });
    return moved;
}

void TCategoryTree::DeleteNode(TCategoryNode* node)
{
    Guarded("procedure TCategoryTree.DeleteNode(Node: TCategoryNode)", [&] {
        if (!node || !node->m_parent)
            return;
        TCategoryNode* parent = node->m_parent;
        const int row = node->Row();
        if (m_observer)
            m_observer->NodesAboutToBeRemoved(parent, row, row);
        std::unique_ptr<TCategoryNode> doomed = std::move(parent->m_children[size_t(row)]);
        parent->m_children.erase(parent->m_children.begin() + row);
        doomed.reset();
        if (m_observer)
            m_observer->NodesRemoved();
    });
}

void TCategoryTree::SetText(TCategoryNode* node, const QString& text)
{
    if (!node || node->m_text == text)
        return;
    node->m_text = text;
    if (m_observer)
        m_observer->NodeChanged(node);
}

void TCategoryTree::SetExpanded(TCategoryNode* node, bool expanded)
{
    if (!node || node->m_expanded == expanded)
        return;
    node->m_expanded = expanded;
    if (m_observer)
        m_observer->NodeChanged(node);
}

void TCategoryTree::Clear()
{
    Guarded("procedure TCategoryTree.Clear", [&] {
        if (m_observer)
            m_observer->TreeAboutToBeCleared();
        m_root->m_children.clear();
        if (m_observer)
            m_observer->TreeCleared();
    });
}
