// The XML library's components as the form definitions know them: the main
// form owns a DOM implementation and a parser linked to it.
#include "win/ClassInfo.h"
#include "xml/DomImplementation.h"
#include "xml/XmlToDomParser.h"

namespace {

// An event the DOM calls only under a hold on a document (xml/DomCallOut.h),
// bound by method name like any other event.
template <class C, class Event>
TPropInfo CallOutProp(const char* name, TdomCallOut<Event> C::*member) {
  TPropInfo p;
  p.name = name;
  p.kind = pkMethod;
  p.getMethod = [member](TObject* o) -> TMethod { return (prop_detail::Cast<C>(o)->*member).Get().Method(); };
  p.setMethod = [member](TObject* o, const TMethod& m) { prop_detail::Cast<C>(o)->*member = Event(m); };
  return p;
}

const TEnumNames kAutoPrepareNames = {"AP_NO", "AP_INTERNAL_DECLARATIONS", "AP_COMPLETE"};

const TClassRegistrar<TDomImplementation, TComponent> kDomImplementationRegistrar("TDomImplementation", {
    ComponentProp("ResourceResolver", &TDomImplementation::GetResourceResolver,
                  &TDomImplementation::SetResourceResolver),
    Prop("TabWidth", &TDomImplementation::GetTabWidth, &TDomImplementation::SetTabWidth),
    CallOutProp("OnAttrModified", &TDomImplementation::OnAttrModified),
    CallOutProp("OnCharacterDataModified", &TDomImplementation::OnCharacterDataModified),
    CallOutProp("OnError", &TDomImplementation::OnError),
    CallOutProp("OnNodeClearing", &TDomImplementation::OnNodeClearing),
    CallOutProp("OnNodeInserted", &TDomImplementation::OnNodeInserted),
    CallOutProp("OnNodeRemoving", &TDomImplementation::OnNodeRemoving),
    CallOutProp("OnRequestXPathFunctionResult", &TDomImplementation::OnRequestXPathFunctionResult),
    CallOutProp("OnRequestXPathVariable", &TDomImplementation::OnRequestXPathVariable),
});

const TClassRegistrar<TXmlToDomParser, TComponent> kXmlToDomParserRegistrar("TXmlToDomParser", {
    ComponentProp<TXmlToDomParser, TDomImplementation, TDomImplementation*>("DOMImpl", &TXmlToDomParser::DOMImpl,
                                                                         &TXmlToDomParser::SetDOMImpl),
    Prop("BufferSize", &TXmlToDomParser::BufferSize, &TXmlToDomParser::SetBufferSize),
    EnumProp("AutoPrepare", &TXmlToDomParser::AutoPrepare, &TXmlToDomParser::SetAutoPrepare, kAutoPrepareNames),
    Prop("KeepCDATASections", &TXmlToDomParser::KeepCDATASections, &TXmlToDomParser::SetKeepCDATASections),
    Prop("KeepComments", &TXmlToDomParser::KeepComments, &TXmlToDomParser::SetKeepComments),
    Prop("KeepEntityRefs", &TXmlToDomParser::KeepEntityRefs, &TXmlToDomParser::SetKeepEntityRefs),
});

}  // namespace
