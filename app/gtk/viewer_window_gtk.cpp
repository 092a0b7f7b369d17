#include "app/gtk/viewer_window_gtk.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/gtk/images_gtk.h"
#include "app/gtk/widgets_gtk.h"
#include "core/guarded.h"
#include "core/scoped_value.h"
#include "core/text.h"
#include "core/title_bar.h"
#include "host/protocol.h"
#include "host/x11_link.h"

namespace vellum {
namespace {

constexpr int kPanelHeight = 26;
constexpr int kBorder = 3;                   // the sizing frame around the client area
constexpr int kRightBlock = kBackFromRight;  // from Back's left edge to the panel's right edge
// The Index button: its place and design width, and the gap it keeps to Back.
constexpr int kIndexRightPadding = 5;
constexpr int kTarget = kTitleBarTarget;
constexpr int kTop = kTitleBarTargetTop;

// Fonts and colours of the title bar. "Arial" resolves to a metric-compatible
// face (Liberation Sans) where Arial itself is not installed.
constexpr const char* kCss = R"CSS(
button.speed { padding: 0; margin: 0; min-height: 0; min-width: 0; border-width: 0;
               border-radius: 0; box-shadow: none; }
button.speed label { padding: 0; margin: 0; }
/* A bar's one-glyph buttons stay narrow, so that the find bar, its count whole, fits a
   narrow window without widening it. */
button.bar { padding: 2px 6px; min-width: 0; }
#SpeedButton2 label { font-family: Arial, "Liberation Sans", sans-serif; font-size: 12px;
                      color: #0000FF; padding-left: 7px; }
#SpeedButton1 label { font-family: Arial, "Liberation Sans", sans-serif; font-size: 12px;
                      color: #800080; padding-left: 7px; }
#SBtnINDEX label { font-family: Arial, "Liberation Sans", sans-serif; font-size: 12px;
                   font-weight: bold; color: #0000FF; padding-left: 5px; }
#SBtnBACK label, #SBtnFORWARD label { font-family: "Arial Black", Arial, "Liberation Sans",
                   sans-serif; font-size: 11px; font-weight: 900; }
#SBtnBACK:disabled label, #SBtnFORWARD:disabled label { color: #A0A0A0; }
#SpeedButton3 label, #SpeedButton4 label { font-family: "MS Sans Serif", "Liberation Sans",
                   sans-serif; font-size: 11px; }
window:not(.dark) #Panel1, window:not(.dark) button.speed { background-color: #F0F0F0;
                   background-image: none; }
window:not(.dark) button.speed label { color: #000000; }
window.dark #Panel1, window.dark button.speed { background-color: #2B2A28; background-image: none; }
window.dark button.speed label { color: #E4E0D8; }
window.dark #SpeedButton2 label, window.dark #SBtnINDEX label { color: #8AB4F8; }
window.dark #SpeedButton1 label { color: #D7AEFB; }
window.dark #SBtnBACK:disabled label, window.dark #SBtnFORWARD:disabled label { color: #6E6A64; }
button.speed:focus, #Image1:focus { outline: 2px solid #3A6FD8; outline-offset: -2px; }
window.dark button.speed:focus, window.dark #Image1:focus { outline-color: #8AB4F8; }
window button.speed:hover { background-color: rgba(128, 128, 128, 0.18); }
#SpeedButton1 { border: 1px solid #800080; border-radius: 3px; background-color: #F6EEF6; }
window.dark #SpeedButton1 { border-color: #D7AEFB; background-color: #3A3340; }
#Notice { font-family: Arial, "Liberation Sans", sans-serif; font-size: 11px; font-style: italic;
          color: #6B6B6B; }
window.dark #Notice { color: #A8A39A; }
#Loading, #Loading trough { min-height: 2px; padding: 0; margin: 0; border: none;
                            background: transparent; }
#Loading progress { min-height: 2px; border: none; border-radius: 0; background: #3A6FD8; }
window.dark #Loading progress { background: #8AB4F8; }
)CSS";

// A caption holds a display name cut to five bytes, then " chapter:verse".
std::string CaptionToUtf8(const std::string& caption) {
  const std::size_t blank = caption.rfind(' ');
  if (blank == std::string::npos) return DisplayTextToUtf8(caption);
  const std::string name = caption.substr(0, blank);
  return DisplayTextToUtf8(name, name.size() == kNameCapacity) + caption.substr(blank);
}

GdkWindowEdge EdgeAt(int x, int y, int width, int height, bool* on_edge) {
  const bool left = x < kBorder;
  const bool right = x >= width - kBorder;
  const bool top = y < kBorder;
  const bool bottom = y >= height - kBorder;
  *on_edge = left || right || top || bottom;
  if (top && left) return GDK_WINDOW_EDGE_NORTH_WEST;
  if (top && right) return GDK_WINDOW_EDGE_NORTH_EAST;
  if (bottom && left) return GDK_WINDOW_EDGE_SOUTH_WEST;
  if (bottom && right) return GDK_WINDOW_EDGE_SOUTH_EAST;
  if (top) return GDK_WINDOW_EDGE_NORTH;
  if (bottom) return GDK_WINDOW_EDGE_SOUTH;
  if (left) return GDK_WINDOW_EDGE_WEST;
  return GDK_WINDOW_EDGE_EAST;
}

const char* EdgeCursor(GdkWindowEdge edge) {
  switch (edge) {
    case GDK_WINDOW_EDGE_NORTH_WEST:
      return "nw-resize";
    case GDK_WINDOW_EDGE_NORTH_EAST:
      return "ne-resize";
    case GDK_WINDOW_EDGE_SOUTH_WEST:
      return "sw-resize";
    case GDK_WINDOW_EDGE_SOUTH_EAST:
      return "se-resize";
    case GDK_WINDOW_EDGE_NORTH:
      return "n-resize";
    case GDK_WINDOW_EDGE_SOUTH:
      return "s-resize";
    case GDK_WINDOW_EDGE_WEST:
      return "w-resize";
    case GDK_WINDOW_EDGE_EAST:
      return "e-resize";
  }
  return "default";
}

// The host's lookup class, on this window alone: every other toplevel of the
// process keeps the program class. Set before the window is first mapped,
// where window managers read it.
void SetViewerClass(GdkWindow* window) {
  std::string name = "vellum";
  std::string window_class(host::kViewerClass);
  XClassHint hint{};
  hint.res_name = name.data();
  hint.res_class = window_class.data();
  XSetClassHint(GDK_WINDOW_XDISPLAY(window), GDK_WINDOW_XID(window), &hint);
}

}  // namespace

ViewerWindowGtk::ViewerWindowGtk(const StartOptions& options) : options_(options) {
  timers_ = std::make_unique<GlibTimers>([this](TimerId id) { OnTimerTick(id); });
  browser_ = std::make_unique<WebKitBrowser>(
      [this](std::string_view url) { return viewer_ && viewer_->OnBeforeNavigate(url); },
      [this](int x, int y, GdkEvent* trigger) {
        if (!viewer_) return;
        // The menu takes the pointer with the event that asked for it.
        menu_trigger_ = trigger != nullptr ? gdk_event_copy(trigger) : nullptr;
        viewer_->OpenMenuAt({x, y});
        if (menu_trigger_ != nullptr) gdk_event_free(menu_trigger_);
        menu_trigger_ = nullptr;
      });
  browser_->SetPageLost([this] {
    if (viewer_) viewer_->OnPageLost();
  });
  sync_ =
      std::make_unique<GlibSyncLink>([this](const TbcvRec& location) { OnSyncLocation(location); },
                                     [this](const std::string& notice) {
                                       if (viewer_) viewer_->ShowSyncNotice(notice);
                                     });
  BuildWindow();
  viewer_ = std::make_unique<Viewer>(
      ViewerPorts{*browser_, *this, *timers_, host_, pump_, files_, rules_, &sync_->Port()});
}

ViewerWindowGtk::~ViewerWindowGtk() {
  // Nothing may call into the behaviour while the window goes away.
  if (GdkWindow* top = TopGdkWindow()) gdk_window_remove_filter(top, FilterXEvent, this);
  for (const auto& [instance, id] : handlers_) {
    if (G_IS_OBJECT(instance)) g_signal_handler_disconnect(instance, id);
  }
  timers_.reset();
  viewer_.reset();
  theme_.reset();  // the desktop's settings outlive the window
  sync_.reset();
  find_bar_.reset();  // its signals are the view's find controller's
  go_to_bar_.reset();
  // The browser lets go of its view's signals while the view is whole.
  browser_.reset();
  if (menu_ != nullptr) {
    gtk_widget_destroy(menu_);
    g_object_unref(menu_);
  }
  if (window_ != nullptr) gtk_widget_destroy(window_);
  if (css_ != nullptr) g_object_unref(css_);
}

void ViewerWindowGtk::Connect(gpointer instance, const char* signal, GCallback callback) {
  handlers_.emplace_back(instance, g_signal_connect(instance, signal, callback, this));
}

void ViewerWindowGtk::BuildWindow() {
  css_ = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css_, kCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css_),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);

  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_set_name(window_, "frmHView");
  gtk_window_set_title(GTK_WINDOW(window_), std::string(host::kViewerTitle).c_str());
  gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
  gtk_window_set_resizable(GTK_WINDOW(window_), TRUE);
  gtk_window_set_default_size(GTK_WINDOW(window_), 469, 365);
  gtk_container_set_border_width(GTK_CONTAINER(window_), kBorder);
  gtk_widget_add_events(window_, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK);
  Connect(window_, "delete-event", G_CALLBACK(OnDelete));
  Connect(window_, "motion-notify-event", G_CALLBACK(OnWindowMotion));
  Connect(window_, "button-press-event", G_CALLBACK(OnWindowPress));
  // Before the web view sees them: Alt+Left and Alt+Right are our history's.
  Connect(window_, "key-press-event", G_CALLBACK(OnKey));
  Connect(window_, "key-release-event", G_CALLBACK(OnKey));
  Connect(window_, "focus-out-event", G_CALLBACK(OnFocusOut));

  GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(GTK_CONTAINER(window_), column);
  BuildTitleBar();
  gtk_box_pack_start(GTK_BOX(column), panel_, FALSE, FALSE, 0);
  GtkWidget* view = browser_->Widget();
  find_bar_ = std::make_unique<FindBarGtk>(
      webkit_web_view_get_find_controller(WEBKIT_WEB_VIEW(view)), [this] { browser_->Focus(); });
  gtk_box_pack_start(GTK_BOX(column), find_bar_->Widget(), FALSE, FALSE, 0);
  go_to_bar_ = std::make_unique<GoToBarGtk>(GoToBarGtk::Callbacks{
      [this](const std::string& typed) {
        return viewer_ ? viewer_->OnGoToEntered(typed) : GoToResult{};
      },
      [this](const std::string& typed) {
        return viewer_ ? viewer_->GoToCompletion(typed) : std::optional<std::string>{};
      },
      [this] { browser_->Focus(); }});
  gtk_box_pack_start(GTK_BOX(column), go_to_bar_->Widget(), FALSE, FALSE, 0);
  gtk_widget_set_size_request(view, 1, 1);
  SetAccessible(view, "WebBrowser1", nullptr);
  gtk_box_pack_start(GTK_BOX(column), view, TRUE, TRUE, 0);
  Connect(view, "size-allocate", G_CALLBACK(OnBrowserAllocate));
  Connect(view, "scroll-event", G_CALLBACK(OnPageScroll));
  Connect(view, "button-press-event", G_CALLBACK(OnPageButton));
  Connect(view, "button-release-event", G_CALLBACK(OnPageButton));
  Connect(view, "notify::estimated-load-progress", G_CALLBACK(OnLoadProgress));
  BuildMenu();
  gtk_widget_show_all(column);

  // The role tells the viewer from any other window of its class and title.
  gtk_window_set_role(GTK_WINDOW(window_), std::string(host::kViewerRole).c_str());
  gtk_widget_realize(window_);
  GdkWindow* top = TopGdkWindow();
  SetViewerClass(top);
  gdk_window_add_filter(top, FilterXEvent, this);
  host_.SetOwnWindow(gdk_x11_window_get_xid(top));
}

void ViewerWindowGtk::BuildTitleBar() {
  // Panel1 is one row: the controls anchored to the left lie in a layout that
  // may be cut off, those anchored to the right in a block that keeps its
  // distance to the right edge whatever the width.
  panel_ = gtk_event_box_new();
  gtk_widget_set_name(panel_, "Panel1");
  gtk_widget_set_size_request(panel_, 1, kPanelHeight);
  gtk_widget_add_events(panel_, GDK_POINTER_MOTION_MASK);
  Connect(panel_, "motion-notify-event", G_CALLBACK(OnHandleMotion));
  // The loading line lies over the row, along its foot.
  GtkWidget* overlay = gtk_overlay_new();
  gtk_container_add(GTK_CONTAINER(panel_), overlay);
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  gtk_container_add(GTK_CONTAINER(overlay), row);
  loading_ = gtk_progress_bar_new();
  SetAccessible(loading_, "Loading", "Loading");
  gtk_widget_set_valign(loading_, GTK_ALIGN_END);
  gtk_widget_set_no_show_all(loading_, TRUE);
  gtk_overlay_add_overlay(GTK_OVERLAY(overlay), loading_);
  gtk_overlay_set_overlay_pass_through(GTK_OVERLAY(overlay), loading_, TRUE);
  left_ = gtk_layout_new(nullptr, nullptr);
  gtk_widget_set_size_request(left_, 1, kPanelHeight);
  Connect(left_, "size-allocate", G_CALLBACK(OnLeftAllocate));
  right_ = gtk_fixed_new();
  gtk_widget_set_size_request(right_, kRightBlock, kPanelHeight);
  gtk_box_pack_start(GTK_BOX(row), left_, TRUE, TRUE, 0);
  gtk_box_pack_end(GTK_BOX(row), right_, FALSE, FALSE, 0);

  GdkPixbuf* icon = NewMenuIcon();
  image1_ = AddImage("Image1", "Menu", icon, kMenuIconLeft, kTop, kTarget, kTarget, 0);
  g_object_unref(icon);
  buttons_[Button::kLocation] =
      AddButton("SpeedButton2", ".....", kLocationLeft, kTop, kLocationWidth, kTarget, 0);
  buttons_[Button::kPendingJump] =
      AddButton("SpeedButton1", ".....", kPendingLeft, kTop, kPendingWidth, kTarget, 0);
  buttons_[Button::kIndex] =
      AddButton("SBtnINDEX", "Index", kIndexLeft, kTop, kIndexMinWidth, kTarget, 0);
  // Quiet words where the host's answer would stand; the whole text is its tooltip.
  notice_ = gtk_label_new("");
  SetAccessible(notice_, "Notice");
  gtk_label_set_ellipsize(GTK_LABEL(notice_), PANGO_ELLIPSIZE_END);
  gtk_label_set_xalign(GTK_LABEL(notice_), 0.0f);
  gtk_widget_set_size_request(notice_, kPendingWidth, kTarget);
  gtk_widget_set_no_show_all(notice_, TRUE);
  Place(notice_, kPendingLeft, kTop, 0);
  buttons_[Button::kBack] =
      AddButton("SBtnBACK", "<", 0, kTop, kTarget, kTarget, kBackFromRight, "Back");
  buttons_[Button::kForward] =
      AddButton("SBtnFORWARD", ">", 0, kTop, kTarget, kTarget, kForwardFromRight, "Forward");
  GdkPixbuf* handle = NewDragHandle();
  image2_ = AddImage("Image2", "Move", handle, 0, kTop, kTarget, kTarget, kHandleFromRight);
  g_object_unref(handle);
  minimize_button_ =
      AddButton("SpeedButton4", "_", 0, kTop, kTarget, kTarget, kMinimizeFromRight, "Minimize");
  close_button_ =
      AddButton("SpeedButton3", "X", 0, kTop, kTarget, kTarget, kCloseFromRight, "Close");

  gtk_widget_set_no_show_all(buttons_[Button::kPendingJump], TRUE);
  gtk_widget_set_sensitive(buttons_[Button::kBack], FALSE);
  gtk_widget_set_sensitive(buttons_[Button::kForward], FALSE);
  for (Button b : {Button::kBack, Button::kForward}) {
    Connect(buttons_[b], "button-press-event", G_CALLBACK(OnButtonPress));
    Connect(buttons_[b], "button-release-event", G_CALLBACK(OnButtonRelease));
  }
  // The menu icon is a button too: the keyboard opens the menu from it.
  gtk_widget_set_can_focus(image1_, TRUE);
  for (GtkWidget* image : {image1_, image2_}) {
    Connect(image, "button-press-event", G_CALLBACK(OnButtonPress));
  }
  Connect(image2_, "button-release-event", G_CALLBACK(OnButtonRelease));
  Connect(image2_, "motion-notify-event", G_CALLBACK(OnHandleMotion));
  // A grab taken away ends a drag that will never see its release. Focus
  // does not: where focus follows the pointer (or without a window
  // manager), a fast drag outruns the window and takes the focus with it.
  Connect(image2_, "grab-broken-event", G_CALLBACK(OnDragInterrupted));
}

GtkWidget* ViewerWindowGtk::AddButton(const char* name, const char* caption, int x, int y, int w,
                                      int h, int right_distance, const char* accessible_name) {
  // The button keeps its own label: setting a button's label text would
  // replace the label and lose its alignment and ellipsizing.
  GtkWidget* button = gtk_button_new();
  GtkWidget* label = gtk_label_new(caption);
  gtk_widget_show(label);  // also inside a button that starts hidden
  gtk_container_add(GTK_CONTAINER(button), label);
  gtk_widget_set_name(button, name);
  gtk_style_context_add_class(gtk_widget_get_style_context(button), "speed");
  gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
  // Tab and F6 reach every button, which shows its focus; a click leaves
  // the keyboard where it was.
  gtk_widget_set_focus_on_click(button, FALSE);
  gtk_widget_set_can_focus(button, TRUE);
  gtk_widget_set_size_request(button, w, h);
  gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
  // Wide speed buttons show their caption from the left, after a margin.
  const bool from_left = std::string_view(name).starts_with("SpeedButton") && w > 20;
  gtk_label_set_xalign(GTK_LABEL(label), from_left ? 0.0f : 0.5f);
  gtk_widget_set_halign(label, from_left ? GTK_ALIGN_START : GTK_ALIGN_CENTER);
  Place(button, x, y, right_distance);
  SetAccessible(button, name, accessible_name);
  Connect(button, "clicked", G_CALLBACK(OnClicked));
  return button;
}

GtkWidget* ViewerWindowGtk::AddImage(const char* name, const char* accessible_name,
                                     GdkPixbuf* pixbuf, int x, int y, int w, int h,
                                     int right_distance) {
  GtkWidget* box = gtk_event_box_new();
  gtk_widget_set_name(box, name);
  gtk_container_add(GTK_CONTAINER(box), gtk_image_new_from_pixbuf(pixbuf));
  gtk_widget_set_size_request(box, w, h);
  gtk_widget_add_events(box,
                        GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK);
  Place(box, x, y, right_distance);
  SetAccessible(box, name, accessible_name);
  return box;
}

void ViewerWindowGtk::Place(GtkWidget* widget, int x, int y, int right_distance) {
  if (right_distance > 0) {
    gtk_fixed_put(GTK_FIXED(right_), widget, kRightBlock - right_distance, y);
  } else {
    gtk_layout_put(GTK_LAYOUT(left_), widget, x, y);
  }
}

GdkWindow* ViewerWindowGtk::TopGdkWindow() const {
  return window_ != nullptr ? gtk_widget_get_window(window_) : nullptr;
}

GtkWidget* ViewerWindowGtk::ButtonWidget(Button button) const {
  return buttons_.at(button);
}

int ViewerWindowGtk::Run() {
  viewer_->OnStart(options_);
  if (viewer_->Closed()) return 0;
  gtk_widget_show(window_);
  running_ = true;
  gtk_main();
  running_ = false;
  return 0;
}

// ---- Events ----

GdkFilterReturn ViewerWindowGtk::FilterXEvent(GdkXEvent* xevent, GdkEvent*, gpointer data) {
  auto* self = static_cast<ViewerWindowGtk*>(data);
  const auto* event = static_cast<XEvent*>(xevent);
  Display* display = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
  const bool doorbell =
      event->type == ClientMessage && event->xclient.message_type == host::DoorbellAtom(display);
  const bool property = event->type == PropertyNotify &&
                        event->xproperty.atom == host::CopyDataAtom(display) &&
                        event->xproperty.state == PropertyNewValue;
  if (!doorbell && !property) return GDK_FILTER_CONTINUE;
  Guarded([&] { self->OnHostMessages(); });
  return GDK_FILTER_REMOVE;
}

void ViewerWindowGtk::OnHostMessages() {
  Display* display = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
  const auto messages = host::TakeMessages(display, gdk_x11_window_get_xid(TopGdkWindow()));
  if (!messages.empty() && g_getenv("VELLUM_TRACE") != nullptr) {
    std::fprintf(stderr, "vellum: %zu host message(s) at %.1f ms\n", messages.size(),
                 static_cast<double>(g_get_real_time()) / 1000.0);
  }
  for (const host::Message& message : messages) {
    if (!viewer_ || viewer_->Closed()) return;
    if (message.code == host::kShowLocation) ShowWithdrawnWindow();
    viewer_->ReceiveHostMessage(message.code, message.payload.data(), message.payload.size());
  }
}

void ViewerWindowGtk::OnSyncLocation(const TbcvRec& location) {
  if (!viewer_ || viewer_->Closed() || !viewer_->FollowSyncChecked()) return;
  ShowWithdrawnWindow();
  viewer_->ReceiveSyncLocation(location);
}

void ViewerWindowGtk::ShowWithdrawnWindow() {
  if (!hidden_without_wm_) return;
  hidden_without_wm_ = false;
  gtk_widget_show(window_);
}

void ViewerWindowGtk::OnTimerTick(TimerId id) {
  if (!viewer_) return;
  if (id == TimerId::kTimer1 || id == TimerId::kTimer2) EndLostHolds();
  viewer_->OnTimer(id);
}

// A release can be lost when the held button has been disabled meanwhile;
// the pointer's own state tells whether the button is still down.
void ViewerWindowGtk::EndLostHolds() {
  if (!viewer_->BackHeld() && !viewer_->ForwardHeld()) return;
  GdkDevice* pointer =
      gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
  GdkModifierType state{};
  gdk_device_get_state(pointer, TopGdkWindow(), nullptr, &state);
  if ((state & (GDK_BUTTON1_MASK | GDK_BUTTON2_MASK | GDK_BUTTON3_MASK)) != 0) return;
  if (viewer_->BackHeld()) viewer_->OnBackReleased();
  if (viewer_->ForwardHeld()) viewer_->OnForwardReleased();
}

void ViewerWindowGtk::OnBrowserAllocate(GtkWidget*, GdkRectangle* allocation, gpointer data) {
  auto* self = static_cast<ViewerWindowGtk*>(data);
  if (allocation->width == self->browser_width_ && allocation->height == self->browser_height_)
    return;
  self->browser_width_ = allocation->width;
  self->browser_height_ = allocation->height;
  if (self->running_) Guarded([&] { self->viewer_->OnResized(); });
}

// The right button never reaches the page: its press opens our menu at the
// pointer, so the page neither shows a menu of its own nor loses its selection.
gboolean ViewerWindowGtk::OnPageButton(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<ViewerWindowGtk*>(data);
  if (event->button != GDK_BUTTON_SECONDARY) return FALSE;
  if (event->type == GDK_BUTTON_PRESS) {
    Guarded([&] {
      self->menu_trigger_ = gdk_event_copy(reinterpret_cast<GdkEvent*>(event));
      self->viewer_->OpenMenuAt({static_cast<int>(event->x_root), static_cast<int>(event->y_root)});
      gdk_event_free(self->menu_trigger_);
      self->menu_trigger_ = nullptr;
    });
  }
  return TRUE;
}

gboolean ViewerWindowGtk::OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  auto* self = static_cast<ViewerWindowGtk*>(data);
  Guarded([&] { self->CloseWindow(); });
  return TRUE;  // the window is destroyed when the loop has ended
}

gboolean ViewerWindowGtk::OnWindowMotion(GtkWidget* widget, GdkEventMotion* event, gpointer data) {
  auto* self = static_cast<ViewerWindowGtk*>(data);
  if (event->window != self->TopGdkWindow()) return FALSE;
  bool on_edge = false;
  const GdkWindowEdge edge = EdgeAt(static_cast<int>(event->x), static_cast<int>(event->y),
                                    gtk_widget_get_allocated_width(widget),
                                    gtk_widget_get_allocated_height(widget), &on_edge);
  GdkCursor* cursor =
      on_edge ? gdk_cursor_new_from_name(gdk_display_get_default(), EdgeCursor(edge)) : nullptr;
  gdk_window_set_cursor(event->window, cursor);
  if (cursor != nullptr) g_object_unref(cursor);
  return FALSE;
}

gboolean ViewerWindowGtk::OnWindowPress(GtkWidget* widget, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<ViewerWindowGtk*>(data);
  if (event->window != self->TopGdkWindow() || event->button != 1) return FALSE;
  bool on_edge = false;
  const GdkWindowEdge edge = EdgeAt(static_cast<int>(event->x), static_cast<int>(event->y),
                                    gtk_widget_get_allocated_width(widget),
                                    gtk_widget_get_allocated_height(widget), &on_edge);
  if (!on_edge) return FALSE;
  gtk_window_begin_resize_drag(GTK_WINDOW(widget), edge, static_cast<gint>(event->button),
                               static_cast<gint>(event->x_root), static_cast<gint>(event->y_root),
                               event->time);
  return TRUE;
}

gboolean ViewerWindowGtk::OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<ViewerWindowGtk*>(data);
  if (event->type != GDK_BUTTON_PRESS) return FALSE;
  Guarded([&] {
    Viewer& v = *self->viewer_;
    if (widget == self->buttons_[Button::kBack]) {
      v.OnBackPressed();
    } else if (widget == self->buttons_[Button::kForward]) {
      v.OnForwardPressed();
    } else if (widget == self->image1_) {
      gint x = 0;
      gint y = 0;
      gdk_window_get_origin(self->TopGdkWindow(), &x, &y);
      // The client area's corner plus the point in the icon's own coordinates.
      v.OnMenuIconPressed(
          {x + kBorder + static_cast<int>(event->x), y + kBorder + static_cast<int>(event->y)});
    } else if (widget == self->image2_) {
      v.OnDragHandlePressed({static_cast<int>(event->x_root), static_cast<int>(event->y_root)});
    }
  });
  return FALSE;
}

gboolean ViewerWindowGtk::OnButtonRelease(GtkWidget* widget, GdkEventButton*, gpointer data) {
  auto* self = static_cast<ViewerWindowGtk*>(data);
  Guarded([&] {
    Viewer& v = *self->viewer_;
    if (widget == self->buttons_[Button::kBack]) {
      v.OnBackReleased();
    } else if (widget == self->buttons_[Button::kForward]) {
      v.OnForwardReleased();
    } else if (widget == self->image2_) {
      v.OnDragHandleReleased();
    }
  });
  return FALSE;  // the button's own click follows the release
}

void ViewerWindowGtk::OnClicked(GtkWidget* widget, gpointer data) {
  auto* self = static_cast<ViewerWindowGtk*>(data);
  Guarded([&] {
    Viewer& v = *self->viewer_;
    if (widget == self->buttons_[Button::kLocation]) v.OnLocationClicked();
    if (widget == self->buttons_[Button::kPendingJump]) v.OnPendingJumpClicked();
    if (widget == self->buttons_[Button::kIndex]) v.OnIndexClicked();
    if (widget == self->buttons_[Button::kBack]) v.OnBackClicked();
    if (widget == self->buttons_[Button::kForward]) v.OnForwardClicked();
    if (widget == self->minimize_button_) v.OnMinimizeClicked();
    if (widget == self->close_button_) v.OnCloseClicked();
  });
}

gboolean ViewerWindowGtk::OnDragInterrupted(GtkWidget*, GdkEvent*, gpointer data) {
  auto* self = static_cast<ViewerWindowGtk*>(data);
  Guarded([&] { self->viewer_->DragCaptureLost(); });
  return FALSE;
}

namespace {

// The text size with Ctrl held: plus (also "=", the key it shares), minus, 0.
std::optional<int> TextSizeKey(const GdkEventKey* event) {
  const guint mods = event->state & gtk_accelerator_get_default_mod_mask() & ~GDK_SHIFT_MASK;
  if (event->type != GDK_KEY_PRESS || mods != GDK_CONTROL_MASK) return std::nullopt;
  switch (event->keyval) {
    case GDK_KEY_plus:
    case GDK_KEY_equal:
    case GDK_KEY_KP_Add:
      return +1;
    case GDK_KEY_minus:
    case GDK_KEY_KP_Subtract:
      return -1;
    case GDK_KEY_0:
    case GDK_KEY_KP_0:
      return 0;
    default:
      return std::nullopt;
  }
}

}  // namespace

gboolean ViewerWindowGtk::OnKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* self = static_cast<ViewerWindowGtk*>(data);
  gboolean handled = FALSE;
  Guarded([&] {
    if (const std::optional<int> size = TextSizeKey(event)) {
      handled = TRUE;
      if (self->viewer_) self->viewer_->OnTextSizeChosen(*size);
      return;
    }
    if (self->FindKey(event) || self->CommandKey(event)) {
      handled = TRUE;
      return;
    }
    const bool left = event->keyval == GDK_KEY_Left || event->keyval == GDK_KEY_KP_Left;
    const bool right = event->keyval == GDK_KEY_Right || event->keyval == GDK_KEY_KP_Right;
    if (!left && !right) return;
    const bool alt = (event->state & gtk_accelerator_get_default_mod_mask()) == GDK_MOD1_MASK;
    if (event->type == GDK_KEY_RELEASE) {
      self->history_key_down_ = false;
      handled = alt;
      return;
    }
    if (!alt) return;
    handled = TRUE;
    // One step per press, as the buttons step: a held key's repeats go nowhere.
    if (self->history_key_down_ || !self->viewer_) return;
    self->history_key_down_ = true;
    if (left) {
      self->viewer_->OnBackClicked();
    } else {
      self->viewer_->OnForwardClicked();
    }
  });
  return handled;
}

void ViewerWindowGtk::OpenGoTo() {
  find_bar_->Close();
  go_to_bar_->Open();
}

// Ctrl+F opens the find bar; F3 and Shift+F3 go to the next and previous
// match; Esc closes it wherever the keyboard is; Ctrl+L opens the Go to bar.
// True when the key was one.
bool ViewerWindowGtk::FindKey(const GdkEventKey* event) {
  if (event->type != GDK_KEY_PRESS) return false;
  const guint mods = event->state & gtk_accelerator_get_default_mod_mask();
  if (mods == GDK_CONTROL_MASK && (event->keyval == GDK_KEY_l || event->keyval == GDK_KEY_L)) {
    OpenGoTo();
    return true;
  }
  if (event->keyval == GDK_KEY_Escape && mods == 0 && go_to_bar_->IsOpen()) {
    go_to_bar_->Close();
    return true;
  }
  if (mods == GDK_CONTROL_MASK && (event->keyval == GDK_KEY_f || event->keyval == GDK_KEY_F)) {
    go_to_bar_->Close();
    find_bar_->Open();
    return true;
  }
  if (event->keyval == GDK_KEY_F3 && (mods == 0 || mods == GDK_SHIFT_MASK)) {
    if (!find_bar_->IsOpen()) {
      find_bar_->Open();
    } else if (mods == GDK_SHIFT_MASK) {
      find_bar_->Previous();
    } else {
      find_bar_->Next();
    }
    return true;
  }
  if (event->keyval == GDK_KEY_Escape && mods == 0 && find_bar_->IsOpen()) {
    find_bar_->Close();
    return true;
  }
  return false;
}

bool ViewerWindowGtk::CommandKey(const GdkEventKey* event) {
  if (event->type != GDK_KEY_PRESS || !viewer_) return false;
  const guint mods = event->state & gtk_accelerator_get_default_mod_mask();
  // F6 goes between the page and the title bar, as between a browser's
  // page and its toolbar.
  if (event->keyval == GDK_KEY_F6 && (mods == 0 || mods == GDK_SHIFT_MASK)) {
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window_));
    if (focus != nullptr && (focus == panel_ || gtk_widget_is_ancestor(focus, panel_))) {
      browser_->Focus();
    } else {
      gtk_widget_grab_focus(image1_);
    }
    return true;
  }
  const bool activate = event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter ||
                        event->keyval == GDK_KEY_space;
  if (activate && mods == 0 && gtk_widget_has_focus(image1_)) {
    gint x = 0;
    gint y = 0;
    gdk_window_get_origin(TopGdkWindow(), &x, &y);
    viewer_->OnMenuIconPressed({x + kBorder + kMenuIconLeft, y + kBorder + kTop + kTarget});
    return true;
  }
  // With Shift held the key is the capital letter.
  if (mods == (GDK_CONTROL_MASK | GDK_SHIFT_MASK) &&
      (event->keyval == GDK_KEY_C || event->keyval == GDK_KEY_c)) {
    viewer_->OnCopyWithReferenceChosen();
    return true;
  }
  if (mods == GDK_CONTROL_MASK && (event->keyval == GDK_KEY_p || event->keyval == GDK_KEY_P)) {
    viewer_->OnPrintChosen();
    return true;
  }
  return false;
}

gboolean ViewerWindowGtk::OnFocusOut(GtkWidget*, GdkEvent*, gpointer data) {
  // A key released elsewhere never comes here: the next press is a new one.
  static_cast<ViewerWindowGtk*>(data)->history_key_down_ = false;
  return FALSE;
}

gboolean ViewerWindowGtk::OnPageScroll(GtkWidget*, GdkEventScroll* event, gpointer data) {
  auto* self = static_cast<ViewerWindowGtk*>(data);
  if ((event->state & gtk_accelerator_get_default_mod_mask()) != GDK_CONTROL_MASK) return FALSE;
  Guarded([&] {
    // Smooth deltas are in wheel clicks, down positive.
    double notches = 0;
    if (event->direction == GDK_SCROLL_UP) notches = 1;
    if (event->direction == GDK_SCROLL_DOWN) notches = -1;
    // A stop event (0, 0) ends a touchpad's gesture.
    if (event->direction == GDK_SCROLL_SMOOTH) notches = -event->delta_y;
    if (self->viewer_) self->viewer_->OnTextSizeWheel(notches);
  });
  return TRUE;  // the page itself never zooms on its own
}

gboolean ViewerWindowGtk::OnHandleMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
  auto* self = static_cast<ViewerWindowGtk*>(data);
  Guarded([&] {
    // Motion without the button held: its release went elsewhere.
    if ((event->state & GDK_BUTTON1_MASK) == 0) {
      self->viewer_->OnDragHandleReleased();
      return;
    }
    self->viewer_->DragStep({static_cast<int>(event->x_root), static_cast<int>(event->y_root)});
  });
  return FALSE;
}

// ---- ControlsPort ----

void ViewerWindowGtk::SetCaption(Button button, const std::string& caption) {
  GtkWidget* label = gtk_bin_get_child(GTK_BIN(ButtonWidget(button)));
  gtk_label_set_text(GTK_LABEL(label), CaptionToUtf8(caption).c_str());
  // The accessible name follows the caption, where the caption says it.
  if (button != Button::kBack && button != Button::kForward)
    atk_object_set_name(gtk_widget_get_accessible(ButtonWidget(button)),
                        CaptionToUtf8(caption).c_str());
  if (button == Button::kIndex) LayOutLeftParts();
}

// The left-hand parts share what the right-hand block leaves them: as
// designed where that fits, closed up and giving way in order below it
// (LayOutTitleBar), each time the row is laid out. A cut Index caption is
// shown whole as the button's tooltip.
TitleBarParts ViewerWindowGtk::LeftParts() const {
  GtkWidget* label = gtk_bin_get_child(GTK_BIN(buttons_.at(Button::kIndex)));
  int minimum = 0;
  int natural = 0;
  gtk_widget_get_preferred_width(label, &minimum, &natural);
  return LayOutTitleBar(std::max(gtk_widget_get_allocated_width(panel_), kNarrowestPanel),
                        natural + kIndexRightPadding, pending_wanted_ || notice_wanted_, 96);
}

void ViewerWindowGtk::LayOutLeftParts() {
  if (left_ != nullptr) gtk_widget_queue_resize(left_);
}

void ViewerWindowGtk::OnLeftAllocate(GtkWidget*, GdkRectangle*, gpointer data) {
  auto* self = static_cast<ViewerWindowGtk*>(data);
  Guarded([&] {
    // The layout has given each part its natural size at its first place;
    // each is given its slot instead, or taken off the row, with nothing
    // that would lay the row out again.
    const TitleBarParts parts = self->LeftParts();
    GtkWidget* index = self->buttons_[Button::kIndex];
    const struct {
      GtkWidget* widget;
      const TitleSlot& slot;
      bool wanted;
    } places[] = {
        {self->buttons_[Button::kLocation], parts.location, true},
        {self->buttons_[Button::kPendingJump], parts.pending, self->pending_wanted_},
        {self->notice_, parts.pending, self->notice_wanted_ && !self->pending_wanted_},
        {index, parts.index, true},
    };
    for (const auto& place : places) {
      const bool shown = place.wanted && place.slot.shown;
      gtk_widget_set_child_visible(place.widget, shown ? TRUE : FALSE);
      if (!shown || !gtk_widget_get_visible(place.widget)) continue;
      GtkAllocation slot{place.slot.x, kTop, place.slot.width, kTarget};
      gtk_widget_size_allocate(place.widget, &slot);
    }
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(index));
    const char* tip = parts.index_cut ? gtk_label_get_text(GTK_LABEL(label)) : nullptr;
    gchar* current = gtk_widget_get_tooltip_text(index);
    if (g_strcmp0(current, tip) != 0) gtk_widget_set_tooltip_text(index, tip);
    g_free(current);
  });
}

void ViewerWindowGtk::SetVisible(Button button, bool visible) {
  if (button == Button::kPendingJump) pending_wanted_ = visible;
  gtk_widget_set_visible(ButtonWidget(button), visible);
  if (button == Button::kPendingJump) {
    gtk_widget_set_visible(notice_, notice_wanted_ && !visible);
    LayOutLeftParts();
  }
}

void ViewerWindowGtk::SetEnabled(Button button, bool enabled) {
  gtk_widget_set_sensitive(ButtonWidget(button), enabled);
  // The menu's Back and Forward go with their buttons.
  if (button == Button::kBack) gtk_widget_set_sensitive(menu_back_, enabled);
  if (button == Button::kForward) gtk_widget_set_sensitive(menu_forward_, enabled);
}

void ViewerWindowGtk::SetUnderline(Button button, bool underline) {
  GtkWidget* label = gtk_bin_get_child(GTK_BIN(ButtonWidget(button)));
  PangoAttrList* attributes = pango_attr_list_new();
  if (underline)
    pango_attr_list_insert(attributes, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
  gtk_label_set_attributes(GTK_LABEL(label), attributes);
  pango_attr_list_unref(attributes);
}

Bounds ViewerWindowGtk::WindowBounds() {
  GdkWindow* top = TopGdkWindow();
  if (top != nullptr && gtk_widget_get_mapped(window_)) {
    GdkRectangle frame{};
    gdk_window_get_frame_extents(top, &frame);
    return {frame.x, frame.y, frame.width, frame.height};
  }
  gint x = 0, y = 0, w = 0, h = 0;
  gtk_window_get_position(GTK_WINDOW(window_), &x, &y);
  gtk_window_get_size(GTK_WINDOW(window_), &w, &h);
  return {x, y, w, h};
}

void ViewerWindowGtk::SetWindowBounds(const Bounds& bounds) {
  gtk_window_move(GTK_WINDOW(window_), bounds.left, bounds.top);
  gtk_window_resize(GTK_WINDOW(window_), std::max(bounds.width, 1), std::max(bounds.height, 1));
}

ScreenPoint ViewerWindowGtk::ScreenSize() {
  Display* display = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
  const int screen = DefaultScreen(display);
  return {DisplayWidth(display, screen), DisplayHeight(display, screen)};
}

std::vector<ScreenRect> ViewerWindowGtk::Monitors() {
  std::vector<ScreenRect> monitors;
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr) return monitors;
  GdkMonitor* primary = gdk_display_get_primary_monitor(display);
  const int count = gdk_display_get_n_monitors(display);
  for (int i = 0; i < count; ++i) {
    GdkMonitor* monitor = gdk_display_get_monitor(display, i);
    if (monitor == nullptr) continue;
    GdkRectangle area{};
    gdk_monitor_get_geometry(monitor, &area);
    // Device pixels, as the window's own place is given.
    const int scale = gdk_monitor_get_scale_factor(monitor);
    const ScreenRect rect{area.x * scale, area.y * scale, (area.x + area.width) * scale,
                          (area.y + area.height) * scale};
    if (monitor == primary) {
      monitors.insert(monitors.begin(), rect);
    } else {
      monitors.push_back(rect);
    }
  }
  return monitors;
}

bool ViewerWindowGtk::LockUpdates() {
  GdkWindow* top = TopGdkWindow();
  if (top == nullptr) return false;
  // While a slow load shows itself, drawing stays free; the lock still counts.
  if (thawed_for_loading_ > 0) {
    ++thawed_for_loading_;
    return true;
  }
  gdk_window_freeze_updates(top);
  ++frozen_;
  return true;
}

void ViewerWindowGtk::UnlockUpdates() {
  if (thawed_for_loading_ > 0) {
    --thawed_for_loading_;  // let go already, while the page loaded
    return;
  }
  GdkWindow* top = TopGdkWindow();
  if (top == nullptr || frozen_ == 0) return;
  --frozen_;
  gdk_window_thaw_updates(top);
}

void ViewerWindowGtk::CloseWindow() {
  if (!viewer_->OnClosing()) return;
  gtk_widget_hide(window_);
  if (running_) gtk_main_quit();
}

void ViewerWindowGtk::MinimizeApplication() {
  GdkScreen* screen = gdk_screen_get_default();
  if (gdk_x11_screen_supports_net_wm_hint(screen,
                                          gdk_atom_intern_static_string("_NET_WM_STATE_HIDDEN"))) {
    gtk_window_iconify(GTK_WINDOW(window_));
    return;
  }
  // No window manager to iconify it: withdraw it until the host shows a location.
  hidden_without_wm_ = true;
  gtk_widget_hide(window_);
}

void ViewerWindowGtk::SetStayOnTop(bool on) {
  if (on == keep_above_) return;
  keep_above_ = on;
  gtk_window_set_keep_above(GTK_WINDOW(window_), on);
}

void ViewerWindowGtk::ShowMessage(const std::string& text) {
  GtkWidget* dialog =
      gtk_message_dialog_new(GTK_WINDOW(window_), GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                             GTK_BUTTONS_OK, "%s", DisplayTextToUtf8(text).c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), "Vellum");
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

void ViewerWindowGtk::SetClipboardText(const std::string& text) {
  GtkClipboard* clipboard =
      gtk_widget_get_clipboard(window_, gdk_atom_intern_static_string("CLIPBOARD"));
  gtk_clipboard_set_text(clipboard, text.c_str(), static_cast<gint>(text.size()));
  gtk_clipboard_store(clipboard);
}

void ViewerWindowGtk::SetNotice(const std::string& text) {
  const std::string shown = DisplayTextToUtf8(text);
  gtk_label_set_text(GTK_LABEL(notice_), shown.c_str());
  gtk_widget_set_tooltip_text(notice_, shown.empty() ? nullptr : shown.c_str());
  notice_wanted_ = !shown.empty();
  gtk_widget_set_visible(notice_, notice_wanted_ && !pending_wanted_);
  LayOutLeftParts();
}

void ViewerWindowGtk::SetLoading(bool loading) {
  if (g_getenv("VELLUM_TRACE") != nullptr)
    std::fprintf(stderr, "vellum: loading %s\n", loading ? "shown" : "ended");
  GtkWidget* view = browser_->Widget();
  if (loading) {
    // Drawing held for the load is let go: the line must show, and the old
    // page, dimmed, no longer looks current.
    if (GdkWindow* top = TopGdkWindow()) {
      for (; frozen_ > 0; --frozen_, ++thawed_for_loading_)
        gdk_window_thaw_updates(top);
    }
    gtk_progress_bar_set_fraction(
        GTK_PROGRESS_BAR(loading_),
        webkit_web_view_get_estimated_load_progress(WEBKIT_WEB_VIEW(view)));
    gtk_widget_show(loading_);
    gtk_widget_set_opacity(view, 0.35);
  } else {
    gtk_widget_hide(loading_);
    gtk_widget_set_opacity(view, 1.0);
  }
}

void ViewerWindowGtk::OnLoadProgress(GObject* view, GParamSpec*, gpointer data) {
  auto* self = static_cast<ViewerWindowGtk*>(data);
  if (!gtk_widget_get_visible(self->loading_)) return;
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(self->loading_),
                                webkit_web_view_get_estimated_load_progress(WEBKIT_WEB_VIEW(view)));
}

void ViewerWindowGtk::CaptureMouse() {
  GdkWindow* handle = gtk_widget_get_window(image2_);
  if (handle == nullptr) return;
  GdkEvent* event = gtk_get_current_event();
  gdk_seat_grab(gdk_display_get_default_seat(gdk_display_get_default()), handle,
                GDK_SEAT_CAPABILITY_ALL_POINTING, FALSE, nullptr, event, nullptr, nullptr);
  if (event != nullptr) gdk_event_free(event);
}

void ViewerWindowGtk::ReleaseMouse() {
  gdk_seat_ungrab(gdk_display_get_default_seat(gdk_display_get_default()));
}

}  // namespace vellum
