#pragma once
// Forms, the screen and the application:
//   TCustomForm / TForm  top-level windows, loaded from their form definition
//                        (RCDATA named after the class) when created; modal
//                        showing with ModalResult, Close/OnClose/OnCloseQuery,
//                        ActiveControl, Default and Cancel buttons (through
//                        CM_DIALOGKEY), tab navigation, key preview, Release.
//   TScreen              the forms, the active form and control, cursors, the
//                        global cursor (Screen->SetCursor(crHourGlass)).
//   TApplication         the message loop (Run, ProcessMessages,
//                        HandleMessage, Terminate), Title, HelpFile, the help
//                        hook (F1 / WM_HELP -> HelpKeyword -> help viewer),
//                        and the hint manager (hint timer, hint window, cancel).
//
// Globals: Application and Screen exist from start-up to exit.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "win/Controls.h"
#include "win/FormDefinition.h"

class THintWindow;
class THelpManager;

enum TModalResult : int {
  mrNone = 0,
  mrOk = IDOK,
  mrCancel = IDCANCEL,
  mrAbort = IDABORT,
  mrRetry = IDRETRY,
  mrIgnore = IDIGNORE,
  mrYes = IDYES,
  mrNo = IDNO,
  mrAll = 8,
  mrNoToAll = 9,
  mrYesToAll = 10,
};
enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TSet<TBorderIcon, 4>;
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter,
                 poMainFormCenter, poOwnerFormCenter };
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TFormStateItem { fsCreating, fsVisible, fsShowing, fsModal, fsCreatedMDIChild, fsActivated };
using TFormState = TSet<TFormStateItem, 8>;

using TCloseEvent = TEvent<void(TObject* sender, TCloseAction& action)>;
using TCloseQueryEvent = TEvent<void(TObject* sender, bool& canClose)>;

QV_DECLARE_EXCEPTION(EResNotFound, Exception);

// A form's menu bar as the form sees it. The menu classes implement it beside
// TComponent; a form's Menu must be a component that does.
class IMainMenu {
public:
  virtual ~IMainMenu() = default;
  // The menu bar to give the window (owned by the menu, built on first use).
  virtual HMENU Handle() = 0;
  // The window showing the bar (redrawn when items change); null when none does.
  virtual void SetWindow(HWND value) = 0;
  // Clicks the enabled, visible item with this shortcut; true when there was one.
  virtual bool IsShortCut(uint16_t key, TShiftState shift) = 0;
};

class TCustomForm : public TWinControl {
  QV_MESSAGE_MAP(TCustomForm, TWinControl)

public:
  // Creates the form and loads its definition: the RCDATA resource named after
  // the form's class (ClassName()). A class other than TForm without one raises
  // EResNotFound "Resource <class> not found".
  void Create(TComponent* owner) override;
  // Creates the form without loading any definition.
  virtual void CreateNew(TComponent* owner);
  void AfterConstruction() override;
  void BeforeDestruction() override;
  ~TCustomForm() override;

  // Shows the form and runs a message loop until ModalResult becomes non-zero
  // (a button with ModalResult, Close, or code); returns it and hides the form.
  // The other windows are disabled meanwhile. Raises EInvalidOperation
  // "Cannot make a visible window modal" when the form is already visible.
  int ShowModal();
  int ModalResult() const { return modalResult; }
  void SetModalResult(int value) { modalResult = value; }
  // Asks OnCloseQuery, then OnClose decides: hide (default), free, minimise or
  // nothing. A modal form only sets ModalResult to mrCancel.
  void Close();
  // True when OnCloseQuery (and every owned form's) allows closing.
  virtual bool CloseQuery();
  // Frees the form once the messages already queued for it are handled.
  void Release();
  void Show() { SetVisible(true); BringToFront(); }
  void Hide() { SetVisible(false); }
  void SetVisible(bool value) override;
  void SetClientSize(int aWidth, int aHeight) override;
  // Before the window exists, the client area also leaves room for the menu bar.
  TRect ClientRect() const override;

  TWinControl* ActiveControl() const { return activeControl; }
  // Focuses value when the form is showing; raises EInvalidOperation "Cannot
  // focus a disabled or invisible window" for a control that cannot take it.
  void SetActiveControl(TWinControl* value);
  // Records that control got the focus (from WM_SETFOCUS); fires OnExit/OnEnter.
  void FocusChanged(TWinControl* control);
  bool Active() const { return active; }
  // A control leaves the form: forget it as the active or focused control.
  void ControlRemoved(TControl* control);

  TFormBorderStyle BorderStyle() const { return borderStyle; }
  void SetBorderStyle(TFormBorderStyle value);
  TBorderIcons BorderIcons() const { return borderIcons; }
  void SetBorderIcons(TBorderIcons value);
  TPosition Position() const { return position; }
  void SetPosition(TPosition value) { position = value; }
  TFormStyle FormStyle() const { return formStyle; }
  void SetFormStyle(TFormStyle value);
  TWindowState WindowState() const { return windowState; }
  void SetWindowState(TWindowState value);
  bool KeyPreview() const { return keyPreview; }
  void SetKeyPreview(bool value) { keyPreview = value; }
  TFormState FormState() const { return formState; }
  // Ignored (every definition writes it): the pixel density the form was made at.
  int PixelsPerInch() const { return 96; }
  void SetPixelsPerInch(int) {}
  bool Scaled() const { return false; }
  void SetScaled(bool) {}
  // The small and big icon from a resource name (empty: the program's first icon).
  const std::string& IconResource() const { return iconResource; }
  void SetIconResource(const std::string& value);
  // The menu bar (a component implementing IMainMenu, e.g. a TMainMenu), shown
  // by the window and again after the window is recreated; null: none. Raises
  // EComponentError for a component that is no menu bar.
  TComponent* Menu() const { return menu; }
  void SetMenu(TComponent* value);
  // Offers a key press to the pop-up menus of control and its parents up to
  // the form, then to the menu bar: the first item with that shortcut is
  // clicked. True when one was. control may be null (the form alone).
  bool IsShortCut(TControl* control, uint16_t key, TShiftState shift);
  // The component of the form's definition called name, made now when
  // DeferredComponents put it off (its window too when its page is showing);
  // null when there is no such component. Raises EFormError as the
  // definition's reading does.
  TComponent* MakeDeferred(const std::string& name);

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

protected:
  // Components of the definition (with all they hold) left out when the form
  // is made, until MakeDeferred asks for one: a page's heavy control that
  // the first window does not show.
  virtual std::vector<std::string> DeferredComponents() const { return {}; }
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void Notification(TComponent* component, TOperation operation) override;
  void Loaded() override;
  void SetText(const std::string& value) override;
  std::string GetText() const override;
  bool DoKeyDown(TMessage& m) override;
  virtual void DoShow();
  virtual void DoHide();
  virtual void DoClose(TCloseAction& action);
  virtual void Activate();
  virtual void Deactivate();

  void WMClose(TMessage& m);
  void WMActivate(TMessage& m);
  void WMQueryEndSession(TMessage& m);
  void CMDialogKey(TMessage& m);
  void CMRelease(TMessage& m);

private:
  void PlaceOnScreen();
  // The bounds the form's position gives it on the screen; false when the
  // position leaves it where it is.
  bool PlacedBounds(TRect& bounds);
  // Gives the window the menu bar (or none) and tells the menu which window shows it.
  void AttachMenu();
  void DetachMenu();

  int modalResult = mrNone;
  TWinControl* activeControl = nullptr;  // not owned
  TWinControl* focusedControl = nullptr; // not owned: the control that has the focus
  TFormBorderStyle borderStyle = bsSizeable;
  TBorderIcons borderIcons{biSystemMenu, biMinimize, biMaximize};
  TPosition position = poDesigned;
  TFormStyle formStyle = fsNormal;
  TWindowState windowState = wsNormal;
  bool keyPreview = false;
  bool active = false;
  bool placed = false;
  TFormState formState;
  std::string iconResource;
  TComponent* menu = nullptr;  // not owned; cleared by notification
  // A client size set while loading, applied again once the border is known.
  int loadedClientWidth = -1, loadedClientHeight = -1;
  HICON bigIcon = nullptr;   // owned
  HICON smallIcon = nullptr; // owned
  std::vector<TDeferredFormPart> deferredParts;  // not read yet
};

class TForm : public TCustomForm {};

// ---------------------------------------------------------------------------

class TScreen : public TComponent {
public:
  void Create(TComponent* owner) override;
  ~TScreen() override;

  int FormCount() const { return static_cast<int>(forms.size()); }
  // Forms in creation order; raises EListError out of range.
  TCustomForm* Forms(int index) const;
  TCustomForm* ActiveForm() const { return activeForm; }
  TWinControl* ActiveControl() const;
  // The cursor shown over every window of the program; crDefault lets each
  // control's Cursor show. Setting it changes the cursor at once.
  TCursor Cursor() const { return cursor; }
  void SetCursor(TCursor value);
  // The cursor handle of id (stock cursors and the program's own); the arrow
  // for unknown ids.
  HCURSOR Cursors(TCursor id) const;
  // Adds or replaces a program cursor (positive id); the screen owns it.
  void SetCursors(TCursor id, HCURSOR cursor);
  // Removes a program cursor and hands it to the caller, who then owns it;
  // nullptr when id has none (its stock cursor or the arrow shows again).
  HCURSOR TakeCursor(TCursor id);
  int Width() const;
  int Height() const;
  // The desktop's work area (without the task bar).
  TRect WorkAreaRect() const;
  // The font for hints and the icon font; owned by the screen.
  TFont* HintFont() const { return hintFont; }
  TFont* IconFont() const { return iconFont; }
  int PixelsPerInch() const;

private:
  friend class TCustomForm;
  friend class TApplication;
  void AddForm(TCustomForm* form);
  void RemoveForm(TCustomForm* form);
  void SetActiveForm(TCustomForm* form);

  std::vector<TCustomForm*> forms;  // not owned
  TCustomForm* activeForm = nullptr;
  TCursor cursor = crDefault;
  std::vector<std::pair<TCursor, HCURSOR>> ownCursors;  // owned
  TFont* hintFont = nullptr;  // owned
  TFont* iconFont = nullptr;  // owned
};

// ---------------------------------------------------------------------------

using TMessageEvent = TEvent<void(MSG& msg, bool& handled)>;
using TExceptionEvent = TEvent<void(TObject* sender, const std::exception& error)>;
using THelpEvent = TEvent<bool(uint16_t command, intptr_t data, bool& callHelp)>;

class TApplication : public TComponent {
public:
  void Create(TComponent* owner) override;
  ~TApplication() override;

  // Registers the window classes and common controls; idempotent.
  void Initialize();
  // Creates a form of class T owned by the application; the first becomes MainForm.
  template <class T>
  T* CreateForm() {
    T* form = New<T>(this);
    if (mainForm == nullptr) mainForm = form;
    return form;
  }
  TCustomForm* MainForm() const { return mainForm; }
  void SetMainForm(TCustomForm* form) { mainForm = form; }
  // Shows the main form and handles messages until Terminate or the main form
  // closes; then frees every component the application owns (DestroyForms).
  // After a Terminate made before it (a start refused while the main form was
  // created) the main form is never shown.
  void Run();
  // Frees the application's forms and other owned components, newest first,
  // and the hint window.
  void DestroyForms();
  // Handles every message waiting now and returns; safe to call from a handler,
  // even one whose form is freed while it runs (Release, or a modal loop that
  // ends). Returns at once once Terminated.
  void ProcessMessages();
  // Waits for one message and handles it (runs idle handling first when none waits).
  void HandleMessage();
  // Ends Run once the messages already posted are handled (posts WM_QUIT with
  // exitCode); Terminated becomes true when the quit message arrives.
  void Terminate(int exitCode = 0);
  bool Terminated() const { return terminated; }
  // What the program ends with: the code of the last Terminate or quit
  // message handled; 0 when there was none.
  int ExitCode() const { return exitCode; }
  // Shows an exception as a message box titled with the application title.
  void ShowException(const std::exception& error);
  // Message box owned by the active form; returns the button id.
  int MessageBox(const std::string& text, const std::string& caption, UINT flags);

  const std::string& Title() const { return title; }
  void SetTitle(const std::string& value);
  const std::string& HelpFile() const { return helpFile; }
  void SetHelpFile(const std::string& value) { helpFile = value; }
  // The hidden owner window of the application's forms.
  HWND Handle() const { return handle; }
  // True while one of the program's windows is the active window.
  bool Active() const;
  std::string ExeName() const;

  // Help: shows keyword through the help manager's viewers; true when one did.
  bool HelpKeyword(const std::string& keyword);
  bool HelpContext(int context);
  // Help for control: its HelpKeyword, or the nearest parent's up to the form.
  bool HelpForControl(TControl* control);
  THelpManager* HelpSystem() const { return helpManager; }

  // Hints.
  bool ShowHint() const { return showHint; }
  void SetShowHint(bool value);
  int HintPause() const { return hintPause; }
  void SetHintPause(int ms) { hintPause = ms; }
  int HintShortPause() const { return hintShortPause; }
  void SetHintShortPause(int ms) { hintShortPause = ms; }
  int HintHidePause() const { return hintHidePause; }
  void SetHintHidePause(int ms) { hintHidePause = ms; }
  TColor HintColor() const { return hintColor; }
  void SetHintColor(TColor value) { hintColor = value; }
  // Hides the hint now and forgets the control under the mouse.
  void CancelHint();
  // Shows the hint of control at once (the timer's work); no-op without a hint.
  void ActivateHint(TPoint cursorPos);
  // The hint window showing now, or null.
  THintWindow* HintWindow() const { return hintWindow; }
  // The control the hint machinery follows (the one under the mouse), or null.
  TControl* HintControl() const { return hintControl; }
  // The window class of hint windows when a control names none.
  THintWindowFactory HintWindowClass() const { return hintWindowClass; }
  void SetHintWindowClass(THintWindowFactory factory) { hintWindowClass = factory; }

  // Called for every mouse move over our controls (pos: client coordinates of
  // the window control that saw it).
  void HintMouseMessage(TControl* control, TPoint pos);

  TMessageEvent OnMessage;
  TNotifyEvent OnIdle;
  TExceptionEvent OnException;
  THelpEvent OnHelp;
  TNotifyEvent OnHint;

private:
  friend class TCustomForm;
  bool ProcessMessage(MSG& msg);
  bool IsKeyMsg(MSG& msg);
  bool IsHintMsg(const MSG& msg);
  void Idle();
  void HintTimerExpired();
  void StartHintTimer(int ms, int kind);
  void StopHintTimer();
  void HideHintWindow();
  static LRESULT CALLBACK AppWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  HWND handle = nullptr;  // owned
  TCustomForm* mainForm = nullptr;  // owned through components
  std::string title;
  std::string helpFile;
  bool terminated = false;
  bool quitPosted = false;
  int exitCode = 0;
  bool initialized = false;
  int handlingDepth = 0;
  // Ends the holds doors handed over (core/HandedOverHolds.h) when no
  // message of ours is being handled.
  void ReleaseBetweenMessages();
  THelpManager* helpManager = nullptr;  // owned

  bool showHint = true;
  int hintPause = 500;
  int hintShortPause = 50;
  int hintHidePause = 2500;
  TColor hintColor = clInfoBk;
  THintWindowFactory hintWindowClass = nullptr;
  THintWindow* hintWindow = nullptr;   // owned
  TControl* hintControl = nullptr;     // not owned; cleared by notification
  RECT hintCursorRect{};
  int hintTimerKind = 0;               // 0 none, 1 show, 2 hide, 3 reshow
  bool hintActive = false;
  UINT_PTR hintTimer = 0;
  THintWindowFactory hintWindowFactoryUsed = nullptr;
  void Notification(TComponent* component, TOperation operation) override;
};

extern TApplication* Application;
extern TScreen* Screen;
