// SPDX-License-Identifier: GPL-3.0-or-later
// A small GTK 3 program the Scriptus tests drive. It reports every change a
// test may check as one line on standard output.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtk/gtk.h>

namespace {

void Report(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void Name(GtkWidget* widget, const char* name)
{
    atk_object_set_name(gtk_widget_get_accessible(widget), name);
}

GtkWidget* g_window = nullptr;

void Ask()
{
    GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(g_window), GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION,
                                            GTK_BUTTONS_YES_NO, "Fortfahren?");
    gtk_window_set_title(GTK_WINDOW(box), "Frage");
    const int answer = gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    Report(answer == GTK_RESPONSE_YES ? "message Ja" : "message Nein");
}

gboolean AskLater(gpointer)
{
    Ask();
    return G_SOURCE_REMOVE;
}

gboolean ReportReady(gpointer)
{
    Report("ready");
    return G_SOURCE_REMOVE;
}

gboolean OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer)
{
    if (event->button == 3)
        Report("rightclick Weiter");
    return FALSE;
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer)
{
    Report("closed");
    gtk_main_quit();
    return FALSE;
}

gboolean OnKey(GtkWidget*, GdkEventKey* event, gpointer)
{
    Report("key " + std::to_string(event->keyval));
    return FALSE;
}

void BuildControls(GtkWidget* box)
{
    GtkWidget* next = gtk_button_new_with_label("Weiter");
    g_signal_connect(next, "clicked", G_CALLBACK(+[](GtkButton*, gpointer) { Report("click Weiter"); }), nullptr);
    g_signal_connect(next, "button-press-event", G_CALLBACK(OnButtonPress), nullptr);
    GtkWidget* ask = gtk_button_new_with_label("Meldung");
    g_signal_connect(ask, "clicked", G_CALLBACK(+[](GtkButton*, gpointer) { Ask(); }), nullptr);
    GtkWidget* option = gtk_check_button_new_with_label("Option");
    g_signal_connect(option, "toggled", G_CALLBACK(+[](GtkToggleButton* b, gpointer) {
                         Report(std::string("check Option ") + (gtk_toggle_button_get_active(b) ? "1" : "0"));
                     }),
                     nullptr);
    GtkWidget* name = gtk_entry_new();
    Name(name, "Name");
    g_signal_connect(name, "changed", G_CALLBACK(+[](GtkEditable* e, gpointer) {
                         char* text = gtk_editable_get_chars(e, 0, -1);
                         Report(std::string("text Name ") + text);
                         g_free(text);
                     }),
                     nullptr);
    g_signal_connect(name, "focus-in-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer) -> gboolean {
                         Report("focus Name");
                         return FALSE;
                     }),
                     nullptr);
    GtkWidget* list = gtk_list_box_new();
    Name(list, "Liste");
    for (const char* entry : {"Eins", "Zwei", "Drei"})
        gtk_container_add(GTK_CONTAINER(list), gtk_label_new(entry));
    gtk_list_box_unselect_all(GTK_LIST_BOX(list));
    g_signal_connect(list, "row-selected", G_CALLBACK(+[](GtkListBox*, GtkListBoxRow* row, gpointer) {
                         if (row)
                             Report(std::string("select Liste ") +
                                    gtk_label_get_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(row)))));
                     }),
                     nullptr);
    GtkWidget* combo = gtk_combo_box_text_new();
    Name(combo, "Auswahl");
    for (const char* entry : {"Rot", "Gruen", "Blau"})
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), entry);
    g_signal_connect(combo, "changed", G_CALLBACK(+[](GtkComboBox* c, gpointer) {
                         char* text = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(c));
                         Report(std::string("select Auswahl ") + (text ? text : ""));
                         g_free(text);
                     }),
                     nullptr);
    for (GtkWidget* w : {next, ask, option, name, list, combo})
        gtk_box_pack_start(GTK_BOX(box), w, FALSE, FALSE, 2);
}

// An installer's wizard: a button made anew under the same path, two
// question boxes of one title one after the other, a short field and a page
// stack whose hidden page holds a twin of the visible page's field.
GtkWidget* g_wizardBox = nullptr;
GtkWidget* g_finish = nullptr;

GtkWidget* MakeFinish()
{
    g_finish = gtk_button_new_with_label("Fertig");
    g_signal_connect(g_finish, "clicked", G_CALLBACK(+[](GtkButton*, gpointer) { Report("click Fertig"); }), nullptr);
    gtk_box_pack_start(GTK_BOX(g_wizardBox), g_finish, FALSE, FALSE, 2);
    gtk_box_reorder_child(GTK_BOX(g_wizardBox), g_finish, 1);
    gtk_widget_show(g_finish);
    return g_finish;
}

void AskNumber(int number);

gboolean AskSecond(gpointer)
{
    AskNumber(2);
    return G_SOURCE_REMOVE;
}

void AskNumber(int number)
{
    GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(g_window), GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_QUESTION,
                                            GTK_BUTTONS_OK, "Frage %d", number);
    gtk_window_set_title(GTK_WINDOW(box), "Frage");
    g_signal_connect(box, "response", G_CALLBACK(+[](GtkDialog* dialog, gint, gpointer data) {
                         const int n = GPOINTER_TO_INT(data);
                         gtk_widget_destroy(GTK_WIDGET(dialog));
                         Report("frage " + std::to_string(n));
                         if (n == 1)
                             g_timeout_add(300, AskSecond, nullptr);
                     }),
                     GINT_TO_POINTER(number));
    gtk_widget_show_all(box);
    Report("asked " + std::to_string(number));
}

void BuildWizard(GtkWidget* box)
{
    g_wizardBox = box;
    GtkWidget* renew = gtk_button_new_with_label("Neu");
    g_signal_connect(renew, "clicked", G_CALLBACK(+[](GtkButton*, gpointer) {
                         gtk_widget_destroy(g_finish);
                         MakeFinish();
                         Report("renewed");
                     }),
                     nullptr);
    GtkWidget* ask = gtk_button_new_with_label("Fragen");
    g_signal_connect(ask, "clicked", G_CALLBACK(+[](GtkButton*, gpointer) { AskNumber(1); }), nullptr);
    GtkWidget* brief = gtk_entry_new();
    Name(brief, "Kurz");
    gtk_entry_set_max_length(GTK_ENTRY(brief), 3);
    g_signal_connect(brief, "changed", G_CALLBACK(+[](GtkEditable* e, gpointer) {
                         char* text = gtk_editable_get_chars(e, 0, -1);
                         Report(std::string("text Kurz ") + text);
                         g_free(text);
                     }),
                     nullptr);
    // A stack shows only its visible page to the accessibility bus: the
    // hidden page is a hidden box, as hand-made wizards keep it.
    GtkWidget* pages[2];
    for (int page = 1; page <= 2; ++page) {
        GtkWidget* field = gtk_entry_new();
        Name(field, "Feld");
        g_signal_connect(field, "changed", G_CALLBACK(+[](GtkEditable* e, gpointer data) {
                             char* text = gtk_editable_get_chars(e, 0, -1);
                             Report("text Seite" + std::to_string(GPOINTER_TO_INT(data)) + " " + text);
                             g_free(text);
                         }),
                         GINT_TO_POINTER(page));
        pages[page - 1] = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
        gtk_box_pack_start(GTK_BOX(pages[page - 1]), field, FALSE, FALSE, 0);
    }
    for (GtkWidget* w : {renew, ask, brief, pages[0], pages[1]})
        gtk_box_pack_start(GTK_BOX(box), w, FALSE, FALSE, 2);
    MakeFinish();
    gtk_widget_show_all(box);
    gtk_widget_set_no_show_all(pages[0], TRUE);
    gtk_widget_hide(pages[0]);
}

} // namespace

// Options: --title=T, --controls=N (benchmark buttons), --message-after=MS
// (opens the question box by itself), --wizard (the wizard window instead).
int main(int argc, char** argv)
{
    gtk_init(&argc, &argv);
    std::string title = "GTK-Testanwendung";
    int controls = 0;
    int messageAfter = -1;
    bool wizard = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--title=", 8) == 0)
            title = argv[i] + 8;
        else if (std::strncmp(argv[i], "--controls=", 11) == 0)
            controls = std::atoi(argv[i] + 11);
        else if (std::strncmp(argv[i], "--message-after=", 16) == 0)
            messageAfter = std::atoi(argv[i] + 16);
        else if (std::strcmp(argv[i], "--wizard") == 0)
            wizard = true;
    }
    g_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(g_window), title.c_str());
    g_signal_connect(g_window, "delete-event", G_CALLBACK(OnDelete), nullptr);
    g_signal_connect(g_window, "key-press-event", G_CALLBACK(OnKey), nullptr);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
    if (controls > 0) {
        GtkWidget* grid = gtk_grid_new();
        for (int i = 0; i < controls; ++i)
            gtk_grid_attach(GTK_GRID(grid), gtk_button_new_with_label(("Knopf " + std::to_string(i + 1)).c_str()),
                            i % 10, i / 10, 1, 1);
        GtkWidget* area = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_widget_set_size_request(area, 600, 400);
        gtk_container_add(GTK_CONTAINER(area), grid);
        gtk_box_pack_start(GTK_BOX(box), area, TRUE, TRUE, 0);
    } else if (wizard) {
        BuildWizard(box);
    } else {
        BuildControls(box);
    }
    gtk_container_add(GTK_CONTAINER(g_window), box);
    gtk_widget_show_all(g_window);
    if (messageAfter >= 0)
        g_timeout_add(static_cast<guint>(messageAfter), AskLater, nullptr);
    g_idle_add(ReportReady, nullptr);
    gtk_main();
    return 0;
}
