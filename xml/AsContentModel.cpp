// Content models: how they are assembled; matching runs on their automaton.
#include "xml/AsContentAutomaton.h"
#include "xml/AsObjects.h"
#include "xml/DomException.h"

TdomASContentModel::~TdomASContentModel() { delete subModels; }

void TdomASContentModel::Create(TdomASElementDecl* ownerElementDecl_, uint8_t type, const std::u16string& name_) {
  if (type != AS_CHOICE && type != AS_ELEMENT_NAME && type != AS_SEQUENCE) throw ENot_Supported_Err();
  TdomASObject::Create(ownerElementDecl_ != nullptr ? ownerElementDecl_->OwnerModel() : nullptr,
                       type == AS_ELEMENT_NAME ? name_ : std::u16string(), AS_CONTENT_MODEL);
  ownerElementDecl = ownerElementDecl_;
  contentModelType = static_cast<TdomASContentModelType>(type);
  allowedSubModels =
      type == AS_ELEMENT_NAME ? 0 : TdomASTypeSet((1 << AS_CHOICE) | (1 << AS_ELEMENT_NAME) | (1 << AS_SEQUENCE));
  subModels = New<TdomASObjectList>();
}

void TdomASContentModel::SetFrequency(TdomASFrequency value) {
  frequency = value;
  if (ownerElementDecl != nullptr) ownerElementDecl->ContentModelChanged();
}

void TdomASContentModel::CheckNewSubModel(const TdomASContentModel* model) const {
  if (model == nullptr || allowedSubModels == 0 || model == this) throw ENot_Supported_Err();
  if (model->OwnerElementDecl() != ownerElementDecl) throw EAS_Wrong_Element_Decl_Err();
  if (model->InUse()) throw EInuse_Err(DomMessage::kContentModelInUse);
  // A model may not hold itself, however deep down.
  for (const TdomASContentModel* up = parentModel; up != nullptr; up = up->parentModel) {
    if (up == model) throw EHierarchy_Request_Err();
  }
}

TdomASContentModel* TdomASContentModel::AppendSubModel(TdomASContentModel* model) {
  CheckNewSubModel(model);
  subModels->appendASObject(model);
  model->inUse = true;
  model->parentModel = this;
  if (ownerElementDecl != nullptr) ownerElementDecl->ContentModelChanged();
  return model;
}

TdomASContentModel* TdomASContentModel::InsertSubModel(TdomASContentModel* model, int index) {
  CheckNewSubModel(model);
  TdomASObject* ref = subModels->item(index);
  subModels->insertBefore(model, ref);
  model->inUse = true;
  model->parentModel = this;
  if (ownerElementDecl != nullptr) ownerElementDecl->ContentModelChanged();
  return model;
}

void TdomASContentModel::RemoveSubModel(TdomASContentModel* model) {
  if (subModels->IndexOf(model) < 0) throw ENot_Found_Err(DomMessage::kNodeNotFoundError);
  subModels->removeASObject(model);
  model->inUse = false;
  model->parentModel = nullptr;
  if (ownerElementDecl != nullptr) ownerElementDecl->ContentModelChanged();
}

bool TdomASContentModel::Match(const std::vector<std::u16string>& names, size_t& index, bool& ambiguous) const {
  ambiguous = false;
  if (ownerElementDecl != nullptr && ownerElementDecl->ContentModel() == this) {
    return ownerElementDecl->Automaton()->Match(names, index, ambiguous);
  }
  TdomASContentAutomaton automaton(this);
  return automaton.Match(names, index, ambiguous);
}
