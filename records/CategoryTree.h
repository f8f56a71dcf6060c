#pragma once
#include <QString>
#include <memory>
#include <vector>

class TCategoryTree;

// One node of the categories tree: its text (for a category node, the category's
// name), its children in order and whether it is shown expanded.
class TCategoryNode {
public:
    const QString& Text() const { return m_text; }
    bool Expanded() const { return m_expanded; }
    // None for the invisible root.
    TCategoryNode* Parent() const { return m_parent; }
    int ChildCount() const { return int(m_children.size()); }
    // None for a row outside the children.
    TCategoryNode* Child(int row) const;
    // The position among the parent's children; -1 for the root.
    int Row() const;
    // True when this node lies somewhere below ancestor (not when it is ancestor).
    bool IsBelow(const TCategoryNode* ancestor) const;

private:
    friend class TCategoryTree;
    friend struct std::default_delete<TCategoryNode>;
    TCategoryNode(TCategoryNode* parent, const QString& text) : m_parent(parent), m_text(text) {}
    // Frees the sub-nodes without recursing, however deep the tree is.
    ~TCategoryNode();

    TCategoryNode* m_parent;
    QString m_text;
    bool m_expanded = false;
    std::vector<std::unique_ptr<TCategoryNode>> m_children;
};

// What a view of the tree (an item model) is told. The "About" calls come before the
// change with the positions as they are then, the others after it; rows and
// destination follow QAbstractItemModel's begin/end calls, so a model forwards them
// as they are.
class TCategoryTreeObserver {
public:
    virtual ~TCategoryTreeObserver() = default;
    virtual void NodesAboutToBeInserted(TCategoryNode* /*parent*/, int /*first*/, int /*last*/) {}
    virtual void NodesInserted() {}
    virtual void NodesAboutToBeRemoved(TCategoryNode* /*parent*/, int /*first*/, int /*last*/) {}
    virtual void NodesRemoved() {}
    // destinationRow counts the destination's children before the move.
    virtual void NodeAboutToBeMoved(TCategoryNode* /*sourceParent*/, int /*sourceRow*/,
                                    TCategoryNode* /*destinationParent*/, int /*destinationRow*/) {}
    virtual void NodeMoved() {}
    // Text or expanded state.
    virtual void NodeChanged(TCategoryNode* /*node*/) {}
    virtual void TreeAboutToBeCleared() {}
    virtual void TreeCleared() {}
};

// The categories tree without any widget: the window's tree view shows it, the
// category list builds, searches, stores and reorders the category hierarchy in it.
// The invisible root's children are the top-level nodes ("All", "Categories", ...).
class TCategoryTree {
public:
    TCategoryTree();
    TCategoryTree(const TCategoryTree&) = delete;
    TCategoryTree& operator=(const TCategoryTree&) = delete;

    TCategoryNode* Root() const { return m_root.get(); }
    // The top-level node at index, or none.
    TCategoryNode* TopLevel(int index) const { return m_root->Child(index); }
    // One listener; none to stop listening. It must outlive its registration.
    void SetObserver(TCategoryTreeObserver* observer) { m_observer = observer; }

    // A new node at row of parent's children (clamped to them), or at their end.
    TCategoryNode* InsertNode(TCategoryNode* parent, int row, const QString& text);
    TCategoryNode* AddNode(TCategoryNode* parent, const QString& text);
    // Moves node with its sub-nodes to newParent, before the child that is at row
    // there now (QAbstractItemModel's counting); false, and nothing moved, for the
    // root or a move into the node itself or below it.
    bool MoveNode(TCategoryNode* node, TCategoryNode* newParent, int row);
    // Deletes node with all its sub-nodes; the root cannot be deleted.
    void DeleteNode(TCategoryNode* node);
    void SetText(TCategoryNode* node, const QString& text);
    void SetExpanded(TCategoryNode* node, bool expanded);
    // Deletes every node below the root.
    void Clear();

    // The nodes below node in depth-first pre-order, each with its depth below node
    // (1 for its children). Iterative, so any depth is walked.
    template <class Visit>
    static void WalkBelow(const TCategoryNode* node, Visit&& visit);

private:
    std::unique_ptr<TCategoryNode> m_root;
    TCategoryTreeObserver* m_observer = nullptr;
};

template <class Visit>
void TCategoryTree::WalkBelow(const TCategoryNode* node, Visit&& visit)
{
    if (!node)
        return;
    std::vector<std::pair<const TCategoryNode*, int>> pending; // (node, depth)
    for (int row = node->ChildCount() - 1; row >= 0; --row)
        pending.emplace_back(node->Child(row), 1);
    while (!pending.empty()) {
        const auto [current, depth] = pending.back();
        pending.pop_back();
        visit(const_cast<TCategoryNode*>(current), depth);
        for (int row = current->ChildCount() - 1; row >= 0; --row)
            pending.emplace_back(current->Child(row), depth + 1);
    }
}
