#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// What a node of an answer's tree holds.
enum class TNodeKind : std::uint8_t { Null, False, True, Number, String, Object, Array };

// One value of the answer, in document order, in 16 bytes: a tree of small values is still
// smaller than the answer. What the text shows is read there: the kind from the value's first
// byte, the key (in an object) just before the value.
struct TAnswerNode {
    std::uint32_t Offset = 0; // the value's first byte
    std::uint32_t Length = 0; // a scalar's length as written; a container's count of children
    std::uint32_t End = 0;    // the node after this one's last descendant
    std::uint32_t Parent = 0; // the container, or NoNode for the top value
};

inline constexpr std::uint32_t NoNode = UINT32_MAX;
// The spare capacity past the end of a text that lets TAnswerTree read it without a copy.
inline constexpr std::size_t AnswerTreePadding = 64;

// A JSON answer indexed once as a tree of nodes (node 0 is the top value). Containers know their
// counts at once; the children of one are listed when first asked for, in one walk over its
// siblings, so that a container with a million children costs nothing until it is opened.
// Immutable once made, apart from that list, which is filled by the one thread that asks.
class TAnswerTree {
public:
    // Reads AText, which must outlive the tree. Throws std::runtime_error with where and why
    // when it is not one JSON value, or when it is 4 GiB or more.
    explicit TAnswerTree(std::shared_ptr<const std::string> AText);

    const std::string& Text() const { return *FText; }
    std::size_t Size() const { return FNodes.size(); }
    const TAnswerNode& Node(std::uint32_t AIndex) const { return FNodes[AIndex]; }
    TNodeKind Kind(std::uint32_t AIndex) const;

    // The children of a container (none for a scalar), in order.
    std::vector<std::uint32_t> Children(std::uint32_t ANode) const;
    // A node's key as shown (unescaped), empty outside objects.
    std::string Key(std::uint32_t ANode) const;
    // The key as written, with its quotes.
    std::string_view RawKey(std::uint32_t ANode) const;
    // A scalar as written (a string with its quotes and escapes).
    std::string_view Raw(std::uint32_t ANode) const;
    // A scalar as shown: a string unescaped, a number as written, true, false, null; a
    // container as compact JSON.
    std::string DisplayText(std::uint32_t ANode) const;
    // The node's value as compact JSON, numbers and strings as written.
    std::string Json(std::uint32_t ANode) const;
    void AppendJson(std::uint32_t ANode, std::string& AOut) const;
    // Its path from the top in jq's syntax: ".", ".Accounts[3].Balance", ."odd key".
    std::string Path(std::uint32_t ANode) const;
    // Its index among its parent's children.
    std::uint32_t IndexInParent(std::uint32_t ANode) const;
    // The next node after AFrom (wrapping to the start, AFrom itself last) whose key or scalar
    // holds ANeedle, ASCII letters in any case; NoNode when none does. AFrom may be NoNode.
    std::uint32_t Find(std::string_view ANeedle, std::uint32_t AFrom) const;

private:
    std::shared_ptr<const std::string> FText;
    std::vector<TAnswerNode> FNodes;
};

// A JSON string (with its quotes) as the text it stands for, in UTF-8.
std::string UnescapeJsonString(std::string_view AQuoted);
