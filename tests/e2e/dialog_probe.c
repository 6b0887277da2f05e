/* A GTK module for the picker tests. Loaded into the host through GTK_MODULES, it
 * writes what the host's visible windows show to the file that
 * TESSIVA_DIALOG_PROBE_OUT names, four times a second (written aside, then renamed):
 *   window<TAB>title
 *   button<TAB>label as given, with its access-key underscore
 *   label<TAB>text
 *   row<TAB>first text of a list row<TAB>file of its icon in the icon theme, or empty
 * Only the tests load it; the host knows nothing of it. */
#include <gtk/gtk.h>
#include <stdio.h>

static void describe(GtkWidget *widget, GString *out);

static void describe_child(GtkWidget *child, gpointer out) { describe(child, out); }

/* The file the icon theme shows for `icon`, or NULL. */
static gchar *icon_file(GIcon *icon) {
  GtkIconInfo *info = gtk_icon_theme_lookup_by_gicon(gtk_icon_theme_get_default(), icon, 24, 0);
  if (!info) return NULL;
  gchar *file = g_strdup(gtk_icon_info_get_filename(info));
  g_object_unref(info);
  return file;
}

static void describe_rows(GtkTreeView *view, GString *out) {
  GtkTreeModel *model = gtk_tree_view_get_model(view);
  GtkTreeIter iter;
  if (!model) return;
  const gint columns = gtk_tree_model_get_n_columns(model);
  for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more;
       more = gtk_tree_model_iter_next(model, &iter)) {
    gchar *text = NULL, *icon = NULL;
    for (gint column = 0; column < columns; ++column) {
      GValue value = G_VALUE_INIT;
      gtk_tree_model_get_value(model, &iter, column, &value);
      if (G_VALUE_HOLDS_STRING(&value)) {
        if (!text && g_value_get_string(&value)) text = g_value_dup_string(&value);
      } else if (G_VALUE_HOLDS(&value, G_TYPE_ICON)) {
        if (!icon && g_value_get_object(&value)) icon = icon_file(g_value_get_object(&value));
      }
      g_value_unset(&value);
    }
    if (text) g_string_append_printf(out, "row\t%s\t%s\n", text, icon ? icon : "");
    g_free(text);
    g_free(icon);
  }
}

static void describe(GtkWidget *widget, GString *out) {
  if (!gtk_widget_get_visible(widget)) return;
  if (GTK_IS_BUTTON(widget) && gtk_button_get_label(GTK_BUTTON(widget)))
    g_string_append_printf(out, "button\t%s\n", gtk_button_get_label(GTK_BUTTON(widget)));
  if (GTK_IS_LABEL(widget)) g_string_append_printf(out, "label\t%s\n", gtk_label_get_text(GTK_LABEL(widget)));
  if (GTK_IS_TREE_VIEW(widget)) describe_rows(GTK_TREE_VIEW(widget), out);
  if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), describe_child, out);
}

static gboolean write_windows(gpointer path) {
  GString *out = g_string_new(NULL);
  GList *windows = gtk_window_list_toplevels();
  for (GList *item = windows; item; item = item->next) {
    GtkWidget *window = item->data;
    if (!gtk_widget_get_mapped(window)) continue;
    const gchar *title = gtk_window_get_title(GTK_WINDOW(window));
    g_string_append_printf(out, "window\t%s\n", title ? title : "");
    describe(window, out);
  }
  g_list_free(windows);
  gchar *aside = g_strconcat(path, ".new", NULL);
  if (g_file_set_contents(aside, out->str, (gssize)out->len, NULL)) rename(aside, path);
  g_free(aside);
  g_string_free(out, TRUE);
  return G_SOURCE_CONTINUE;
}

G_MODULE_EXPORT void gtk_module_init(gint *argc, gchar ***argv) {
  (void)argc;
  (void)argv;
  const gchar *path = g_getenv("TESSIVA_DIALOG_PROBE_OUT");
  if (path) g_timeout_add(250, write_windows, g_strdup(path));
}
