#include "check_tree.h"

#include <windowsx.h>

namespace zvu {

const UINT WM_XCHECKTREECTRL_TVN_SELECTION =
    RegisterWindowMessageA("WM_XCHECKTREECTRL_TVN_SELECTION");

namespace {

constexpr UINT_PTR kSubclassId = 0x5A564354;  // one subclass per tree object

bool IsTreeView(HWND window) {
  wchar_t className[32] = {};
  GetClassNameW(window, className, 32);
  return lstrcmpiW(className, WC_TREEVIEWW) == 0;
}

}  // namespace

XCheckTree::~XCheckTree() {
  if (tree_ != nullptr) {
    FreeAllRecords();
    Detach();
  }
}

bool XCheckTree::Attach(HWND tree) {
  if (tree_ != nullptr || !IsWindow(tree) || !IsTreeView(tree)) return false;
  HWND parent = GetParent(tree);
  if (parent == nullptr) return false;
  tree_ = tree;
  parent_ = parent;
  const auto self = reinterpret_cast<DWORD_PTR>(this);
  if (!SetWindowSubclass(tree_, TreeProc, kSubclassId, self) ||
      !SetWindowSubclass(parent_, ParentProc, kSubclassId, self)) {
    Detach();
    return false;
  }
  // The check-box style is what tells accessibility tools that rows with a
  // state image of 1 or 2 are check boxes, unticked or ticked. The boxes on
  // screen stay the rows' own pictures: the tree's state pictures are
  // dropped, so it draws no second box and its own click and space-bar
  // toggling never find one.
  SetWindowLongPtrW(tree_, GWL_STYLE, GetWindowLongPtrW(tree_, GWL_STYLE) | TVS_CHECKBOXES);
  DropStatePictures();
  return true;
}

void XCheckTree::DropStatePictures() const {
  auto pictures = reinterpret_cast<HIMAGELIST>(
      SendMessageW(tree_, TVM_SETIMAGELIST, TVSIL_STATE, 0));
  // The list the tree made for its check boxes is not freed with the tree.
  if (pictures != nullptr) ImageList_Destroy(pictures);
}

HWND XCheckTree::Create(HWND parent, const RECT& rect, int id) {
  if (tree_ != nullptr) return nullptr;
  HWND tree = CreateWindowExW(0, WC_TREEVIEWW, L"", kTreeStyle, rect.left, rect.top,
                              rect.right - rect.left, rect.bottom - rect.top, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              GetModuleHandleW(nullptr), nullptr);
  if (tree == nullptr) return nullptr;
  if (!Attach(tree)) {
    DestroyWindow(tree);
    return nullptr;
  }
  return tree;
}

void XCheckTree::Detach() {
  if (tree_ != nullptr) RemoveWindowSubclass(tree_, TreeProc, kSubclassId);
  if (parent_ != nullptr) RemoveWindowSubclass(parent_, ParentProc, kSubclassId);
  tree_ = nullptr;
  parent_ = nullptr;
}

HTREEITEM XCheckTree::InsertCheckItem(const std::string& text, HTREEITEM parent,
                                      UpdateEntry* entry) {
  CheckTreeItemData record;
  record.checkItem = 1;
  record.checkState = (entry != nullptr && entry->offered) ? 1 : 0;
  record.object = entry;
  return InsertRow(text, parent, BoxPicture(record.checkState == 1), record);
}

HTREEITEM XCheckTree::InsertOfferItem(const std::string& text, HTREEITEM parent,
                                      CatalogueEntry* object) {
  CheckTreeItemData record;
  record.offerItem = 1;
  record.object = object;
  return InsertRow(text, parent, kOfferedProduct, record);
}

HTREEITEM XCheckTree::InsertHeadingItem(const std::string& text, CatalogueEntry* object) {
  CheckTreeItemData record;
  record.headingItem = 1;
  record.object = object;
  return InsertRow(text, TVI_ROOT, kInstalledHeading, record);
}

HTREEITEM XCheckTree::InsertRow(const std::string& text, HTREEITEM parent, int picture,
                                const CheckTreeItemData& record) {
  if (tree_ == nullptr) return nullptr;
  TVINSERTSTRUCTA insert = {};
  insert.hParent = parent;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  insert.item.pszText = const_cast<char*>(text.c_str());
  insert.item.iImage = picture;
  insert.item.iSelectedImage = picture;
  auto item = reinterpret_cast<HTREEITEM>(
      SendMessageA(tree_, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
  if (item == nullptr) return nullptr;

  auto* owned = new CheckTreeItemData(record);
  TVITEMA attach = {};
  attach.mask = TVIF_HANDLE | TVIF_PARAM | TVIF_STATE;
  attach.hItem = item;
  attach.lParam = reinterpret_cast<LPARAM>(owned);
  // Set on every row: the check-box style would give a row without a box
  // the state of an unticked one.
  attach.stateMask = TVIS_STATEIMAGEMASK;
  attach.state = INDEXTOSTATEIMAGEMASK(StateIndex(record.checkState));
  if (!SendMessageA(tree_, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&attach))) {
    delete owned;
    SendMessageA(tree_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
    return nullptr;
  }
  return item;
}

CheckTreeItemData* XCheckTree::ItemData(HTREEITEM item) const {
  if (tree_ == nullptr || item == nullptr) return nullptr;
  TVITEMA read = {};
  read.mask = TVIF_HANDLE | TVIF_PARAM;
  read.hItem = item;
  if (!SendMessageA(tree_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&read))) return nullptr;
  return reinterpret_cast<CheckTreeItemData*>(read.lParam);
}

UINT XCheckTree::StateIndex(int32_t checkState) {
  switch (checkState) {
    case 0:
      return kUntickedState;
    case 1:
      return kTickedState;
    default:
      return kNoBoxState;
  }
}

void XCheckTree::SetRowBox(HTREEITEM item, bool ticked) {
  TVITEMA change = {};
  change.mask = TVIF_HANDLE | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE;
  change.hItem = item;
  change.iImage = BoxPicture(ticked);
  change.iSelectedImage = change.iImage;
  change.stateMask = TVIS_STATEIMAGEMASK;
  change.state = INDEXTOSTATEIMAGEMASK(ticked ? kTickedState : kUntickedState);
  SendMessageA(tree_, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&change));
  // Tell accessibility tools that the row's state changed (the tree maps
  // its rows to their ids; 0 where it cannot).
  const auto id = static_cast<LONG>(
      SendMessageW(tree_, TVM_MAPHTREEITEMTOACCID, reinterpret_cast<WPARAM>(item), 0));
  if (id != 0) NotifyWinEvent(EVENT_OBJECT_STATECHANGE, tree_, OBJID_CLIENT, id);
}

void XCheckTree::ToggleRowUnderClick() {
  // The row of the click: anywhere on its line counts (box, label, indent
  // or the space to the right of the label).
  const DWORD position = GetMessagePos();
  TVHITTESTINFO hit = {};
  hit.pt.x = GET_X_LPARAM(position);
  hit.pt.y = GET_Y_LPARAM(position);
  ScreenToClient(tree_, &hit.pt);
  auto item = reinterpret_cast<HTREEITEM>(
      SendMessageW(tree_, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  if (item != nullptr) ToggleRow(item);
}

void XCheckTree::ToggleRow(HTREEITEM item) {
  CheckTreeItemData* record = ItemData(item);
  if (record == nullptr || record->checkState == -1 || record->checkItem == 0 ||
      record->object == nullptr)
    return;
  auto* entry = static_cast<UpdateEntry*>(record->object);
  const bool ticked = record->checkState != 1;
  SetRowBox(item, ticked);
  record->checkState = ticked ? 1 : 0;
  entry->offered = ticked;
}

void XCheckTree::NotifySelection(NMTREEVIEWW& change) {
  if (change.itemNew.hItem == nullptr) return;
  HWND receiver = GetParent(tree_);
  if (receiver == nullptr || !IsWindow(receiver)) return;
  SendMessageW(receiver, WM_XCHECKTREECTRL_TVN_SELECTION, reinterpret_cast<WPARAM>(&change),
               reinterpret_cast<LPARAM>(ItemData(change.itemNew.hItem)));
}

void XCheckTree::ForgetRecord(NMTREEVIEWW& deleted) {
  // A row deleted on its own takes its record with it. Rows emptied by
  // FreeAllRecords arrive here with no record any more.
  delete reinterpret_cast<CheckTreeItemData*>(deleted.itemOld.lParam);
  deleted.itemOld.lParam = 0;
}

HTREEITEM XCheckTree::Relative(HTREEITEM item, UINT relation) const {
  return reinterpret_cast<HTREEITEM>(
      SendMessageW(tree_, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

void XCheckTree::FreeAllRecords() {
  // Every row at every level (the selection page builds two), depth first,
  // without allocating: down to the first child, else on to the next
  // sibling of the row or of its nearest ancestor that has one.
  HTREEITEM item = Relative(nullptr, TVGN_ROOT);
  while (item != nullptr) {
    if (CheckTreeItemData* record = ItemData(item)) {
      TVITEMA clear = {};
      clear.mask = TVIF_HANDLE | TVIF_PARAM;
      clear.hItem = item;
      clear.lParam = 0;
      SendMessageA(tree_, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&clear));
      delete record;
    }
    if (HTREEITEM child = Relative(item, TVGN_CHILD)) {
      item = child;
      continue;
    }
    while (item != nullptr) {
      if (HTREEITEM next = Relative(item, TVGN_NEXT)) {
        item = next;
        break;
      }
      item = Relative(item, TVGN_PARENT);
    }
  }
}

bool XCheckTree::HandleNotify(NMHDR& header, LRESULT& result) {
  switch (header.code) {
    case NM_CLICK:
      ToggleRowUnderClick();
      result = 0;
      return true;
    case NM_DBLCLK:
      // Nothing: the tree still expands or collapses the row.
      result = 0;
      return true;
    case TVN_SELCHANGEDA:
    case TVN_SELCHANGEDW:
      NotifySelection(reinterpret_cast<NMTREEVIEWW&>(header));
      result = 0;
      return true;
    case TVN_DELETEITEMA:
    case TVN_DELETEITEMW:
      ForgetRecord(reinterpret_cast<NMTREEVIEWW&>(header));
      return false;  // the parent may still want to know
    default:
      return false;
  }
}

LRESULT CALLBACK XCheckTree::TreeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR, DWORD_PTR self) {
  auto* tree = reinterpret_cast<XCheckTree*>(self);
  switch (message) {
    case WM_KEYDOWN:
      // The space bar ticks or unticks the focused row as a click does. The
      // key goes no further: the tree would otherwise toggle a state
      // picture of its own.
      if (wParam == VK_SPACE) {
        if (HTREEITEM focused = tree->Relative(nullptr, TVGN_CARET)) tree->ToggleRow(focused);
        return 0;
      }
      break;
    case WM_CHAR:
      // Its character would start the tree's search for a row by its text.
      if (wParam == L' ') return 0;
      break;
    case WM_DESTROY:
      tree->FreeAllRecords();
      break;
    case WM_NCDESTROY:
      tree->Detach();
      break;
    case WM_THEMECHANGED:
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE: {
      // The tree may draw its check boxes afresh for a new look: they stay
      // away.
      const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
      tree->DropStatePictures();
      return result;
    }
    default:
      break;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

LRESULT CALLBACK XCheckTree::ParentProc(HWND window, UINT message, WPARAM wParam,
                                        LPARAM lParam, UINT_PTR, DWORD_PTR self) {
  auto* tree = reinterpret_cast<XCheckTree*>(self);
  if (message == WM_NOTIFY && lParam != 0) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    LRESULT result = 0;
    if (header->hwndFrom == tree->tree_ && tree->tree_ != nullptr &&
        tree->HandleNotify(*header, result))
      return result;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace zvu
