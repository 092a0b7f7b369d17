// The Linux viewer window: an undecorated GTK window with the home-made
// title bar and a WebKit view, wired to the viewer's behaviour.
#pragma once

#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/gtk/add_books_gtk.h"
#include "app/gtk/biblesync_gtk.h"
#include "app/gtk/find_bar_gtk.h"
#include "app/gtk/go_to_bar_gtk.h"
#include "app/gtk/ports_gtk.h"
#include "app/gtk/sync_menu_gtk.h"
#include "app/gtk/theme_gtk.h"
#include "browser/webkit_browser_gtk.h"
#include "core/ports.h"
#include "core/title_bar.h"
#include "core/viewer.h"
#include "platform/platform.h"

namespace vellum {

class ViewerWindowGtk final : public ControlsPort {
 public:
  explicit ViewerWindowGtk(const StartOptions& options = {});
  ViewerWindowGtk(const ViewerWindowGtk&) = delete;
  ViewerWindowGtk& operator=(const ViewerWindowGtk&) = delete;
  ~ViewerWindowGtk() override;

  // Start-up, the message loop, shutdown. Returns the exit code.
  int Run();

  // ControlsPort
  void SetCaption(Button button, const std::string& caption) override;
  void SetVisible(Button button, bool visible) override;
  void SetEnabled(Button button, bool enabled) override;
  void SetUnderline(Button button, bool underline) override;
  Bounds WindowBounds() override;
  void SetWindowBounds(const Bounds& bounds) override;
  ScreenPoint ScreenSize() override;
  std::vector<ScreenRect> Monitors() override;
  bool LockUpdates() override;
  void UnlockUpdates() override;
  void CloseWindow() override;
  void MinimizeApplication() override;
  void SetStayOnTop(bool on) override;
  void SetStayOnTopCheck(bool checked) override;
  void SetSyncReachCheck(SyncReach reach) override;
  std::optional<std::string> AskSyncPassphrase(const std::string& current) override;
  void SetLibraries(const std::vector<std::string>& labels, int chosen) override;
  void SetTheme(Theme theme) override;
  void ShowPopupMenu(ScreenPoint at) override;
  void ShowMessage(const std::string& text) override;
  void CaptureMouse() override;
  void ReleaseMouse() override;
  void SetNotice(const std::string& text) override;
  void SetClipboardText(const std::string& text) override;
  void SetLoading(bool loading) override;

 private:
  void BuildWindow();
  void BuildTitleBar();
  void BuildMenu();
  // Puts a title-bar control at its design place (x, y within the panel), or
  // right_distance from the panel's right edge when that is not 0.
  void Place(GtkWidget* widget, int x, int y, int right_distance);
  GtkWidget* AddButton(const char* name, const char* caption, int x, int y, int w, int h,
                       int right_distance, const char* accessible_name = nullptr);
  GtkWidget* AddImage(const char* name, const char* accessible_name, GdkPixbuf* pixbuf, int x,
                      int y, int w, int h, int right_distance);
  void Connect(gpointer instance, const char* signal, GCallback callback);
  GtkWidget* ButtonWidget(Button button) const;
  GdkWindow* TopGdkWindow() const;
  void OnHostMessages();
  void OnSyncLocation(const TbcvRec& location);
  // Without a window manager a minimized viewer was withdrawn; the next
  // location to show brings it back.
  void ShowWithdrawnWindow();
  void OnTimerTick(TimerId id);
  void EndLostHolds();

  static GdkFilterReturn FilterXEvent(GdkXEvent* xevent, GdkEvent* event, gpointer self);
  static void OnBrowserAllocate(GtkWidget* view, GdkRectangle* allocation, gpointer self);
  static gboolean OnPageButton(GtkWidget* view, GdkEventButton* event, gpointer self);
  static gboolean OnDelete(GtkWidget* window, GdkEvent* event, gpointer self);
  static gboolean OnWindowMotion(GtkWidget* window, GdkEventMotion* event, gpointer self);
  static gboolean OnWindowPress(GtkWidget* window, GdkEventButton* event, gpointer self);
  static gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer self);
  static gboolean OnButtonRelease(GtkWidget* widget, GdkEventButton* event, gpointer self);
  static void OnClicked(GtkWidget* widget, gpointer self);
  static gboolean OnDragInterrupted(GtkWidget* widget, GdkEvent* event, gpointer self);
  static gboolean OnKey(GtkWidget* widget, GdkEventKey* event, gpointer self);
  static gboolean OnFocusOut(GtkWidget* window, GdkEvent* event, gpointer self);
  static gboolean OnPageScroll(GtkWidget* view, GdkEventScroll* event, gpointer self);
  bool FindKey(const GdkEventKey* event);
  // Ctrl+Shift+C and Ctrl+P, whichever part has the keyboard.
  bool CommandKey(const GdkEventKey* event);
  // The Go to bar, the find bar closed for it (one bar at a time).
  void OpenGoTo();
  static void OnLoadProgress(GObject* view, GParamSpec* property, gpointer self);
  static void OnLeftAllocate(GtkWidget* widget, GdkRectangle* allocation, gpointer self);
  // Places and sizes the title bar's left-hand parts for its width.
  void LayOutLeftParts();
  TitleBarParts LeftParts() const;
  bool pending_wanted_ = false;  // the viewer offers a pending jump
  bool notice_wanted_ = false;   // ... or tells of the host's silence
  static gboolean OnHandleMotion(GtkWidget* widget, GdkEventMotion* event, gpointer self);
  static void OnMenuItem(GtkWidget* item, gpointer self);
  static void OnLibraryItem(GtkWidget* item, gpointer self);
  static void OnThemeItem(GtkWidget* item, gpointer self);
  // The title bar's colours and the pages' marks, dark or light.
  void ShowTheme(bool dark);

  // Ports and the behaviour they serve; the behaviour is made last.
  SystemFileSystem files_;
  LocaleTextRules rules_;
  GlibPump pump_;
  X11HostLink host_;
  std::unique_ptr<GlibTimers> timers_;
  std::unique_ptr<WebKitBrowser> browser_;
  std::unique_ptr<GlibSyncLink> sync_;
  std::unique_ptr<FindBarGtk> find_bar_;
  std::unique_ptr<GoToBarGtk> go_to_bar_;
  std::unique_ptr<Viewer> viewer_;
  StartOptions options_;

  GtkWidget* window_ = nullptr;
  GtkWidget* panel_ = nullptr;
  GtkWidget* left_ = nullptr;   // the controls anchored to the left
  GtkWidget* right_ = nullptr;  // the controls anchored to the right
  GtkWidget* image1_ = nullptr;
  GtkWidget* image2_ = nullptr;
  std::map<Button, GtkWidget*> buttons_;
  GtkWidget* minimize_button_ = nullptr;
  GtkWidget* close_button_ = nullptr;
  GtkWidget* menu_ = nullptr;
  GtkWidget* menu_back_ = nullptr;
  GtkWidget* menu_forward_ = nullptr;
  GtkWidget* menu_index_ = nullptr;
  GtkWidget* menu_copy_ = nullptr;
  GtkWidget* menu_copy_reference_ = nullptr;
  GtkWidget* menu_print_ = nullptr;
  GtkWidget* menu_find_ = nullptr;
  GtkWidget* menu_go_to_ = nullptr;
  GtkWidget* notice_ = nullptr;   // the host's silence, where its answer would stand
  GtkWidget* loading_ = nullptr;  // a thin line along the title bar's foot
  GtkWidget* menu_on_top_ = nullptr;
  std::unique_ptr<SyncMenuGtk> sync_menu_;
  GtkWidget* menu_add_books_ = nullptr;           // in the Library submenu
  std::unique_ptr<AddBooksDialogGtk> add_books_;  // made when first asked for
  GtkWidget* menu_library_ = nullptr;             // its submenu: one radio item per library
  std::vector<GtkWidget*> library_items_;
  GtkWidget* library_none_ = nullptr;  // hidden: on when no library shown is listed
  GtkWidget* menu_theme_ = nullptr;    // its submenu: Follow system, Light, Dark
  std::map<Theme, GtkWidget*> theme_items_;
  std::unique_ptr<ThemeGtk> theme_;
  GtkWidget* menu_larger_ = nullptr;
  GtkWidget* menu_smaller_ = nullptr;
  GtkWidget* menu_normal_size_ = nullptr;
  GtkWidget* menu_about_ = nullptr;
  GtkWidget* menu_close_ = nullptr;
  std::vector<std::pair<gpointer, gulong>> handlers_;
  GtkCssProvider* css_ = nullptr;
  GdkEvent* menu_trigger_ = nullptr;  // while the page's right click opens the menu

  int browser_width_ = -1;
  int browser_height_ = -1;
  bool running_ = false;
  bool keep_above_ = false;
  bool setting_check_ = false;
  bool hidden_without_wm_ = false;
  bool history_key_down_ = false;  // Alt+Left or Alt+Right held: its repeats step no further
  int frozen_ = 0;
  int thawed_for_loading_ = 0;  // frozen updates let go early to show a slow load
};

}  // namespace vellum
