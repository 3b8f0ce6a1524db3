// Location paths: path expressions, steps, the axis loop, node tests and predicates.
#include <vector>

#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/ParserUtilsNames.h"
#include "xml/XPathSyntaxTree.h"

namespace {

bool IsAxis(const TdomXPathSyntaxNode* node) {
  return node != nullptr && IsXPathAxisNameToken(TdomXPathTokenKind(node->Kind()));
}

// descendant-or-self::node() without predicates: the step "//" stands for.
bool IsAnyDescendantOrSelf(const TdomXPathSyntaxNode* step) {
  const TdomXPathSyntaxNode* axis = step->left;
  return axis->Is(XPATH_AXIS_NAME_DESCENDANT_OR_SELF_TOKEN) && axis->right == nullptr && axis->left != nullptr &&
         axis->left->left != nullptr && axis->left->left->Is(XPATH_NODE_TYPE_NODE_TOKEN);
}

// A child step whose predicates cannot tell positions apart: after
// descendant-or-self::node() it selects the same nodes as the descendant axis.
bool IsPositionFreeChildStep(const TdomXPathSyntaxNode* step) {
  TdomXPathSyntaxNode* axis = step->left;
  if (axis == nullptr || !axis->Is(XPATH_AXIS_NAME_CHILD_TOKEN)) return false;
  for (TdomXPathSyntaxNode* predicate = axis->right; predicate != nullptr; predicate = predicate->right) {
    if (!predicate->Is(XPATH_PREDICATE_NODE)) return false;
    if (!static_cast<TdomXPathPredicate*>(predicate)->IsPositionFree()) return false;
  }
  return true;
}

// The position a step's first predicate selects when it is a plain number
// ("following-sibling::e[1]"): the nodes after it need not be walked. 0
// when it is anything else.
int LeadingPosition(const TdomXPathSyntaxNode* predicate) {
  double value;
  if (predicate == nullptr || !predicate->Is(XPATH_PREDICATE_NODE) || !XPathLiteralNumber(predicate->left, value)) {
    return 0;
  }
  return value >= 1 && value <= 1e6 && value == double(int(value)) ? int(value) : 0;
}

// One node tried by a predicate costs about twice a node an axis selects
// (an evaluation of its expression, with a result made and freed).
constexpr size_t kPredicateRoundUnits = 2;

bool IsSiblingAxis(const TdomXPathSyntaxNode* axis) {
  return axis->Is(XPATH_AXIS_NAME_FOLLOWING_SIBLING_TOKEN) || axis->Is(XPATH_AXIS_NAME_PRECEDING_SIBLING_TOKEN);
}

TdomXPathDocumentOrder& OrderOf(const TdomXPathSyntaxNode* node, TdomXPathDocumentOrder& fallback) {
  TdomXPathSyntaxTree* tree = node->GetSyntaxTree();
  return tree != nullptr ? tree->DocumentOrder() : fallback;
}

}  // namespace

// --- Path expressions and steps ------------------------------------------------------------------

bool TdomXPathPathExpr::AddStep(TdomXPathStep* step) {
  if (right == nullptr) {
    right = step;
    lastStep = step;
    return true;
  }
  if (lastStep == nullptr) {
    if (!right->Is(XPATH_STEP_NODE)) return false;
    lastStep = static_cast<TdomXPathStep*>(right);
  }
  while (lastStep->right != nullptr) {
    if (!lastStep->right->Is(XPATH_STEP_NODE)) return false;
    lastStep = static_cast<TdomXPathStep*>(lastStep->right);
  }
  lastStep->right = step;
  lastStep = step;
  return true;
}

TdomXPathCustomResult* TdomXPathPathExpr::evaluate(TdomNode* contextNode, int contextPosition, int contextSize) {
  if (right != nullptr && !right->Is(XPATH_STEP_NODE)) RaiseXPathTypeError();
  auto* firstStep = static_cast<TdomXPathStep*>(right);
  TdomXPathNodeSetResult* start;
  if (left != nullptr && left->Is(XPATH_FILTER_EXPR_NODE)) {
    TdomXPathCustomResult* result = EvaluateXPathNode(left, contextNode, contextPosition, contextSize);
    if (firstStep == nullptr) return result;
    start = RequireXPathNodeSet(result);
  } else {
    start = StartSet(contextNode);
    if (firstStep == nullptr) return start;
  }
  return firstStep->EvaluateStep(start);
}

TdomXPathNodeSetResult* TdomXPathPathExpr::StartSet(TdomNode* contextNode) {
  TdomXPathNodeSetResult* start;
  if (left != nullptr && left->Is(XPATH_ABSOLUTE_LOCATION_PATH_NODE)) {
    TdomDocument* document = contextNode != nullptr ? XPathDocumentOf(contextNode) : nullptr;
    if (document == nullptr) RaiseXPathTypeError();
    start = New<TdomXPathNodeSetResult>();
    start->Add(document);
    return start;
  }
  if (left != nullptr || right == nullptr || contextNode == nullptr) RaiseXPathTypeError();
  start = New<TdomXPathNodeSetResult>();
  start->Add(contextNode);
  return start;
}

bool TdomXPathPathExpr::IsLocationPath() const {
  return right != nullptr && right->Is(XPATH_STEP_NODE) &&
         (left == nullptr || left->Is(XPATH_ABSOLUTE_LOCATION_PATH_NODE));
}

bool TdomXPathPathExpr::SelectsAny(TdomNode* contextNode, const TdomXPathNodeCheck* check) {
  if (!IsLocationPath()) RaiseXPathTypeError();
  return static_cast<TdomXPathStep*>(right)->SelectsAny(StartSet(contextNode), check);
}

bool TdomXPathStep::AddStep(TdomXPathStep* step) {
  TdomXPathSyntaxNode* last = this;
  while (last->right != nullptr) {
    if (!last->right->Is(XPATH_STEP_NODE)) return false;
    last = last->right;
  }
  last->right = step;
  return true;
}

TdomXPathNodeSetResult* TdomXPathStep::EvaluateStep(TdomXPathNodeSetResult* nodeSet) {
  TdomXPathResultPtr<TdomXPathNodeSetResult> current(nodeSet);
  // The steps run in a loop, so a long path costs no stack.
  for (TdomXPathSyntaxNode* step = this; step != nullptr;) {
    if (current == nullptr) RaiseXPathTypeError();
    if (current->Length() == 0) return current.release();
    if (!step->Is(XPATH_STEP_NODE) || !IsAxis(step->left)) RaiseXPathTypeError();
    TdomXPathSyntaxNode* next = step->right;
    if (next != nullptr && !next->Is(XPATH_STEP_NODE)) RaiseXPathTypeError();
    auto* axis = static_cast<TdomXPathCustomAxisName*>(step->left);
    if (next != nullptr && IsAnyDescendantOrSelf(step) && IsPositionFreeChildStep(next)) {
      // "//name[test]": one walk of the descendants instead of the children of every node.
      current.reset(static_cast<TdomXPathCustomAxisName*>(next->left)->EvaluateAxisOverDescendants(current.release()));
      step = next->right;
      continue;
    }
    current.reset(axis->EvaluateAxis(current.release()));
    step = next;
  }
  return current.release();
}

bool TdomXPathStep::SelectsAny(TdomXPathNodeSetResult* nodeSet, const TdomXPathNodeCheck* check) {
  TdomXPathResultPtr<TdomXPathNodeSetResult> current(nodeSet);
  for (TdomXPathSyntaxNode* step = this; step != nullptr;) {
    if (current == nullptr) RaiseXPathTypeError();
    if (current->Length() == 0) return false;
    if (!step->Is(XPATH_STEP_NODE) || !IsAxis(step->left)) RaiseXPathTypeError();
    TdomXPathSyntaxNode* next = step->right;
    if (next != nullptr && !next->Is(XPATH_STEP_NODE)) RaiseXPathTypeError();
    auto* axis = static_cast<TdomXPathCustomAxisName*>(step->left);
    if (next != nullptr && IsAnyDescendantOrSelf(step) && IsPositionFreeChildStep(next)) {
      auto* descendants = static_cast<TdomXPathCustomAxisName*>(next->left);
      if (next->right == nullptr) return descendants->SelectsAny(current.release(), /*overDescendants=*/true, check);
      current.reset(descendants->EvaluateAxisOverDescendants(current.release()));
      step = next->right;
      continue;
    }
    if (next == nullptr) return axis->SelectsAny(current.release(), /*overDescendants=*/false, check);
    current.reset(axis->EvaluateAxis(current.release()));
    step = next;
  }
  return false;  // not reached: the last step answers
}

// --- Axis loop ---------------------------------------------------------------------------------

bool TdomXPathCustomAxisName::SelectsAny(TdomXPathNodeSetResult* nodeSet, bool overDescendants,
                                         const TdomXPathNodeCheck* check) {
  if (nodeSet == nullptr) RaiseXPathTypeError();
  TdomXPathResultPtr<TdomXPathNodeSetResult> input(nodeSet);
  if (left == nullptr || !left->Is(XPATH_NODE_TEST_NODE)) RaiseXPathTypeError();
  if (right != nullptr && !right->Is(XPATH_PREDICATE_NODE)) RaiseXPathTypeError();
  auto* test = static_cast<TdomXPathNodeTest*>(left);
  auto* predicate = static_cast<TdomXPathPredicate*>(right);
  bool positionFree = true;
  for (TdomXPathSyntaxNode* p = right; p != nullptr; p = p->right) {
    if (!p->Is(XPATH_PREDICATE_NODE)) RaiseXPathTypeError();
    positionFree = positionFree && static_cast<TdomXPathPredicate*>(p)->IsPositionFree();
  }
  bool nameTest = test->left != nullptr && test->left->Is(XPATH_NAME_TEST_TOKEN);
  TdomWhatToShow shown = nameTest ? NodeTypeBit(principalNodeType) : kShowAll;
  // Tests and predicates are applied to a batch of candidates at a time.
  // Each node passes or fails on its own when the predicates cannot tell
  // positions apart: the first that passes answers.
  // `tested`: the candidates were paid for and passed the test already.
  auto anyPasses = [&](TdomXPathResultPtr<TdomXPathNodeSetResult>& selected, bool tested) {
    if (!tested) {
      ChargeXPathWork(this, static_cast<size_t>(selected->Length()) + 1);
      if (selected->Length() > 0) selected.reset(test->FilterNodes(selected.release(), principalNodeType));
    }
    if (selected->Length() == 0) return false;
    if (predicate != nullptr && !positionFree) selected.reset(predicate->FilterNodes(selected.release()));
    for (int k = 0, size = selected->Length(); k < size; ++k) {
      TdomNode* candidate = selected->Item(k);
      if (predicate != nullptr && positionFree && !predicate->Accepts(candidate, k + 1, size)) continue;
      if (check == nullptr || (*check)(candidate)) return true;
    }
    return false;
  };
  int wanted = LeadingPosition(right);
  for (int i = 0, n = input->Length(); i < n; ++i) {
    TdomNode* node = input->Item(i);
    if (node == nullptr) continue;
    if (!overDescendants) {
      TdomXPathResultPtr<TdomXPathNodeSetResult> selected(SelectTested(node, test, wanted));
      if (anyPasses(selected, true)) return true;
      continue;
    }
    // The descendants are walked in growing batches, so that a node found
    // early costs little however large the subtree (predicates here are
    // always position-free).
    TdomNode* walked = nullptr;
    for (size_t batch = 1;; batch *= 2) {
      TdomXPathResultPtr<TdomXPathNodeSetResult> selected(New<TdomXPathNodeSetResult>());
      while (static_cast<size_t>(selected->Length()) < batch && (walked = NextXPathDescendant(node, walked)) != nullptr) {
        if (NodeTypeInSet(shown, walked->GetNodeType())) selected->Add(walked);
      }
      if (selected->Length() > 0 && anyPasses(selected, false)) return true;
      if (walked == nullptr) break;
    }
  }
  return false;
}

TdomXPathNodeSetResult* TdomXPathCustomAxisName::EvaluateAxis(TdomXPathNodeSetResult* nodeSet) {
  return RunAxis(nodeSet, /*overDescendants=*/false);
}

TdomXPathNodeSetResult* TdomXPathCustomAxisName::EvaluateAxisOverDescendants(TdomXPathNodeSetResult* nodeSet) {
  return RunAxis(nodeSet, /*overDescendants=*/true);
}

TdomXPathNodeSetResult* TdomXPathCustomAxisName::RunAxis(TdomXPathNodeSetResult* nodeSet, bool overDescendants) {
  if (nodeSet == nullptr) RaiseXPathTypeError();
  TdomXPathResultPtr<TdomXPathNodeSetResult> input(nodeSet);
  if (left == nullptr || !left->Is(XPATH_NODE_TEST_NODE)) RaiseXPathTypeError();
  if (right != nullptr && !right->Is(XPATH_PREDICATE_NODE)) RaiseXPathTypeError();
  auto* test = static_cast<TdomXPathNodeTest*>(left);
  auto* predicate = static_cast<TdomXPathPredicate*>(right);
  bool reverse = overDescendants ? false : axisIsReverse;
  TdomXPathResultPtr<TdomXPathNodeSetResult> result(New<TdomXPathNodeSetResult>());
  result->SetAxisIsReverse(reverse);
  TdomXPathDocumentOrder localOrder;
  TdomXPathDocumentOrder& order = OrderOf(this, localOrder);
  // A name test keeps only nodes of the principal type: the walk over the
  // descendants need not collect the others.
  bool nameTest = test->left != nullptr && test->left->Is(XPATH_NAME_TEST_TOKEN);
  TdomWhatToShow shown = nameTest ? NodeTypeBit(principalNodeType) : kShowAll;
  // The selections are appended while each follows the one before (the
  // usual case); otherwise the result is sorted and rid of repeats whenever
  // it has doubled, so that overlapping selections (each context node's
  // following nodes, say) never pile up beyond twice the distinct nodes.
  bool sorted = true;
  size_t compacted = 0;
  int wanted = LeadingPosition(predicate);
  for (int i = 0, n = input->Length(); i < n; ++i) {
    TdomNode* node = input->Item(i);
    if (node == nullptr) continue;
    TdomXPathResultPtr<TdomXPathNodeSetResult> selected;
    if (overDescendants) {
      selected.reset(SelectXPathDescendants(node, false, shown));
      // Every node the walk found is paid for, kept or not.
      ChargeXPathWork(this, static_cast<size_t>(selected->Length()) + 1);
      if (selected->Length() > 0) selected.reset(test->FilterNodes(selected.release(), principalNodeType));
    } else {
      selected.reset(SelectTested(node, test, wanted));
    }
    if (predicate != nullptr && selected->Length() > 0) selected.reset(predicate->FilterNodes(selected.release()));
    if (selected->Length() == 0) continue;
    selected->SetAxisIsReverse(reverse);
    if (sorted && result->Length() > 0) {
      sorted = XPathFollowsInSetOrder(result->Item(result->Length() - 1), selected->Item(0), reverse, order);
    }
    result->TakeAll(selected.get());
    size_t length = static_cast<size_t>(result->Length());
    if (!sorted && length > 2 * compacted + 1024) {
      result->SortInOrder(order);
      compacted = static_cast<size_t>(result->Length());
    }
  }
  if (!sorted) result->SortInOrder(order);
  return result.release();
}

TdomXPathNodeSetResult* TdomXPathCustomAxisName::SelectTested(TdomNode* node, TdomXPathNodeTest* test, int wanted) {
  if (wanted == 0 || !IsSiblingAxis(this)) {
    TdomXPathResultPtr<TdomXPathNodeSetResult> selected(SelectNodes(node));
    // Every node the axis walked is paid for, kept or not.
    ChargeXPathWork(this, static_cast<size_t>(selected->Length()) + 1);
    if (selected->Length() > 0) selected.reset(test->FilterNodes(selected.release(), principalNodeType));
    return selected.release();
  }
  // The siblings in growing batches, until enough of them pass the test.
  TdomXPathResultPtr<TdomXPathNodeSetResult> found(New<TdomXPathNodeSetResult>());
  found->SetAxisIsReverse(axisIsReverse);
  if (!IsXPathTreeNode(node)) return found.release();
  bool forward = Is(XPATH_AXIS_NAME_FOLLOWING_SIBLING_TOKEN);
  const TdomNode* walked = node;
  for (size_t batch = size_t(wanted); walked != nullptr && found->Length() < wanted; batch *= 2) {
    TdomXPathResultPtr<TdomXPathNodeSetResult> candidates(New<TdomXPathNodeSetResult>());
    candidates->SetAxisIsReverse(axisIsReverse);
    while (static_cast<size_t>(candidates->Length()) < batch && (walked = NextXPathSibling(walked, forward)) != nullptr) {
      candidates->AppendRaw(const_cast<TdomNode*>(walked));
    }
    ChargeXPathWork(this, static_cast<size_t>(candidates->Length()) + 1);
    if (candidates->Length() > 0) candidates.reset(test->FilterNodes(candidates.release(), principalNodeType));
    found->TakeAll(candidates.get());
  }
  return found.release();
}

// --- Node tests --------------------------------------------------------------------------------

TdomXPathNodeSetResult* TdomXPathNodeTest::FilterNodes(TdomXPathNodeSetResult* nodeSet,
                                                     TdomNodeType principalNodeType) {
  if (nodeSet == nullptr) RaiseXPathTypeError();
  TdomXPathResultPtr<TdomXPathNodeSetResult> set(nodeSet);
  if (left == nullptr) RaiseXPathTypeError();
  switch (left->Kind()) {
    case XPATH_NAME_TEST_TOKEN:
      return static_cast<TdomXPathNameTest*>(left)->FilterNodes(set.release(), principalNodeType);
    case XPATH_NODE_TYPE_COMMENT_TOKEN:
      return static_cast<TdomXPathNodeTypeComment*>(left)->FilterNodes(set.release());
    case XPATH_NODE_TYPE_TEXT_TOKEN:
      return static_cast<TdomXPathNodeTypeText*>(left)->FilterNodes(set.release());
    case XPATH_NODE_TYPE_PI_TOKEN:
      return static_cast<TdomXPathNodeTypePI*>(left)->FilterNodes(set.release());
    case XPATH_NODE_TYPE_NODE_TOKEN:
      return set.release();
    default:
      RaiseXPathTypeError();
  }
}

void TdomXPathNameTest::Create(TCustomOwnedObject* owner, const std::u16string& value_) {
  TdomXPathSyntaxNode::Create(owner, value_);
  if (value_ == u"*") {
    localName = u"*";
  } else if (value_.size() > 2 && value_.compare(value_.size() - 2, 2, u":*") == 0) {
    prefix = value_.substr(0, value_.size() - 2);
    localName = u"*";
  } else {
    prefix = ExtractPrefix(value_);
    localName = ExtractLocalName(value_);
  }
}

TdomXPathNodeSetResult* TdomXPathNameTest::FilterNodes(TdomXPathNodeSetResult* nodeSet,
                                                     TdomNodeType principalNodeType) {
  if (nodeSet == nullptr) RaiseXPathTypeError();
  TdomXPathResultPtr<TdomXPathNodeSetResult> set(nodeSet);
  if (value == u"*") {
    set->RemoveIf([&](TdomNode* node) { return node->GetNodeType() != principalNodeType; });
    return set.release();
  }
  std::u16string namespaceUri = ResolveXPathPrefix(this, prefix);
  bool anyLocal = localName == u"*";
  // The names read are copied and compared: long ones are paid for by their length.
  size_t read = 0;
  auto readName = [&](std::u16string name) {
    read += name.size();
    return name;
  };
  set->RemoveIf([&](TdomNode* node) {
    if (node->GetNodeType() != principalNodeType) return true;
    // A namespace node's name is its prefix, in no namespace.
    if (principalNodeType == ntXPath_Namespace_Node) {
      return !namespaceUri.empty() || (!anyLocal && readName(node->GetLocalName()) != localName);
    }
    if (readName(node->GetNamespaceURI()) != namespaceUri) return true;
    if (anyLocal) return false;
    std::u16string nodeLocalName = readName(node->GetLocalName());
    // A node built without namespace processing has no local name: an
    // unprefixed test compares with its node name.
    if (nodeLocalName.empty() && prefix.empty()) return readName(node->GetNodeName()) != localName;
    return nodeLocalName != localName;
  });
  ChargeXPathString(read);
  return set.release();
}

TdomXPathNodeSetResult* TdomXPathNodeTypeComment::FilterNodes(TdomXPathNodeSetResult* nodeSet) {
  if (nodeSet == nullptr) RaiseXPathTypeError();
  nodeSet->RemoveIf([](TdomNode* node) { return node->GetNodeType() != ntComment_Node; });
  return nodeSet;
}

TdomXPathNodeSetResult* TdomXPathNodeTypeText::FilterNodes(TdomXPathNodeSetResult* nodeSet) {
  if (nodeSet == nullptr) RaiseXPathTypeError();
  nodeSet->RemoveIf([](TdomNode* node) {
    TdomNodeType type = node->GetNodeType();
    return type != ntText_Node && type != ntCDATA_Section_Node && type != ntEntity_Reference_Node;
  });
  return nodeSet;
}

TdomXPathNodeSetResult* TdomXPathNodeTypePI::FilterNodes(TdomXPathNodeSetResult* nodeSet) {
  if (nodeSet == nullptr) RaiseXPathTypeError();
  bool byTarget = left != nullptr && left->Is(XPATH_LITERAL_TOKEN);
  nodeSet->RemoveIf([&](TdomNode* node) {
    if (node->GetNodeType() != ntProcessing_Instruction_Node) return true;
    return byTarget && node->GetNodeName() != left->value;
  });
  return nodeSet;
}

// --- Predicates ----------------------------------------------------------------------------------

TdomXPathNodeSetResult* TdomXPathPredicate::FilterNodes(TdomXPathNodeSetResult* nodeSet) {
  if (nodeSet == nullptr) RaiseXPathTypeError();
  TdomXPathResultPtr<TdomXPathNodeSetResult> current(nodeSet);
  // The chain of predicates runs in a loop, each on the survivors of the one before.
  for (TdomXPathSyntaxNode* predicate = this; predicate != nullptr; predicate = predicate->right) {
    if (!predicate->Is(XPATH_PREDICATE_NODE)) RaiseXPathTypeError();
    TdomXPathSyntaxNode* expression = predicate->left;
    if (expression == nullptr || !expression->Is(XPATH_EXPR_NODE)) RaiseXPathTypeError();
    TdomXPathResultPtr<TdomXPathNodeSetResult> survivors(New<TdomXPathNodeSetResult>());
    survivors->SetAxisIsReverse(current->GetAxisIsReverse());
    int size = current->Length();
    double literal;
    if (XPathLiteralNumber(expression, literal)) {
      // "[3]": the third node, found without asking each node.
      ChargeXPathWork(this, 1);
      if (literal >= 1 && literal <= size && literal == double(int(literal))) {
        survivors->Add(current->Item(int(literal) - 1));
      }
      current = std::move(survivors);
      continue;
    }
    ChargeXPathWork(this, kPredicateRoundUnits * static_cast<size_t>(size));
    TdomXPathStaticType type = XPathStaticTypeOf(expression);
    bool asBoolean = type == TdomXPathStaticType::Boolean || type == TdomXPathStaticType::NodeSet;
    for (int position = 1; position <= size; ++position) {
      TdomNode* node = current->Item(position - 1);
      bool keep;
      if (asBoolean) {
        keep = EvaluateXPathBoolean(expression, node, position, size);
      } else {
        TdomXPathResultPtr<> holder;
        const TdomXPathCustomResult* verdict = EvaluateXPathNodeTemp(expression, node, position, size, holder);
        keep = verdict->ResultType() == XPATH_NUMBER_TYPE ? verdict->AsNumber() == double(position)
                                                          : verdict->AsBoolean();
      }
      if (keep) survivors->Add(node);
    }
    current = std::move(survivors);
  }
  return current.release();
}

bool TdomXPathPredicate::Accepts(TdomNode* node, int position, int size) {
  for (TdomXPathSyntaxNode* predicate = this; predicate != nullptr; predicate = predicate->right) {
    if (!predicate->Is(XPATH_PREDICATE_NODE)) RaiseXPathTypeError();
    TdomXPathSyntaxNode* expression = predicate->left;
    if (expression == nullptr || !expression->Is(XPATH_EXPR_NODE)) RaiseXPathTypeError();
    ChargeXPathWork(this, kPredicateRoundUnits);
    if (!EvaluateXPathBoolean(expression, node, position, size)) return false;
  }
  return true;
}

bool XPathLiteralNumber(TdomXPathSyntaxNode* node, double& value) {
  // A union of one operand only sets the direction of a node-set.
  while (node != nullptr && (XPathNodePassesThrough(node) || (node->Is(XPATH_UNION_EXPR_NODE) && node->right == nullptr))) {
    node = node->left;
  }
  if (node == nullptr || !node->Is(XPATH_NUMBER_TOKEN)) return false;
  TdomXPathResultPtr<> number(node->evaluate(nullptr, 1, 1));
  value = number->AsNumber();
  return true;
}

TdomXPathStaticType XPathStaticTypeOf(TdomXPathSyntaxNode* node) {
  using StaticType = TdomXPathStaticType;
  while (node != nullptr && XPathNodePassesThrough(node)) node = node->left;
  if (node == nullptr) return StaticType::Unknown;
  switch (node->Kind()) {
    case XPATH_OR_EXPR_NODE:
    case XPATH_AND_EXPR_NODE:
    case XPATH_IS_EQUAL_EXPR_NODE:
    case XPATH_IS_NOT_EQUAL_EXPR_NODE:
    case XPATH_LESS_THAN_EXPR_NODE:
    case XPATH_LESS_THAN_OR_EQUAL_EXPR_NODE:
    case XPATH_GREATER_THAN_EXPR_NODE:
    case XPATH_GREATER_THAN_OR_EQUAL_EXPR_NODE:
      return StaticType::Boolean;
    case XPATH_PLUS_EXPR_NODE:
    case XPATH_MINUS_EXPR_NODE:
    case XPATH_MULTIPLY_EXPR_NODE:
    case XPATH_DIV_EXPR_NODE:
    case XPATH_MOD_EXPR_NODE:
    case XPATH_UNARY_EXPR_NODE:
    case XPATH_NUMBER_TOKEN:
      return StaticType::Number;
    case XPATH_UNION_EXPR_NODE:
      return node->right != nullptr ? StaticType::NodeSet : XPathStaticTypeOf(node->left);
    case XPATH_PATH_EXPR_NODE:
    case XPATH_FILTER_EXPR_NODE:
      return StaticType::NodeSet;
    case XPATH_LITERAL_TOKEN:
      return StaticType::String;
    case XPATH_FUNCTION_CALL_NODE: {
      auto* call = static_cast<TdomXPathFunctionCall*>(node);
      TdomXPathResultType type;
      if (call->CoreFunction() == nullptr || !XPathCoreFunctionResultType(call->LocalName(), type)) {
        return StaticType::Unknown;
      }
      switch (type) {
        case XPATH_BOOLEAN_TYPE: return StaticType::Boolean;
        case XPATH_NODE_SET_TYPE: return StaticType::NodeSet;
        case XPATH_STRING_TYPE: return StaticType::String;
        default: return StaticType::Number;
      }
    }
    default:
      return StaticType::Unknown;
  }
}

namespace {

// True when position() or last() is called in node's context (inner predicates have their own).
bool CallsPositionOrLast(TdomXPathSyntaxNode* node) {
  std::vector<TdomXPathSyntaxNode*> pending{node};
  while (!pending.empty()) {
    TdomXPathSyntaxNode* current = pending.back();
    pending.pop_back();
    if (current == nullptr || current->Is(XPATH_PREDICATE_NODE)) continue;
    if (current->Is(XPATH_FUNCTION_CALL_NODE)) {
      auto* call = static_cast<TdomXPathFunctionCall*>(current);
      // A function outside the library receives the position too.
      if (call->CoreFunction() == nullptr || call->LocalName() == u"position" || call->LocalName() == u"last") {
        return true;
      }
      pending.insert(pending.end(), call->arguments.begin(), call->arguments.end());
    }
    pending.push_back(current->left);
    pending.push_back(current->right);
  }
  return false;
}

}  // namespace

bool TdomXPathPredicate::IsPositionFree() {
  if (positionFree < 0) {
    using StaticType = TdomXPathStaticType;
    StaticType type = XPathStaticTypeOf(left);
    bool free = (type == StaticType::Boolean || type == StaticType::NodeSet || type == StaticType::String) &&
                !CallsPositionOrLast(left);
    positionFree = free ? 1 : 0;
  }
  return positionFree == 1;
}
