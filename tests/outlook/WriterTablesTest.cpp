// The folder tables of the writer's files, read by libpff's own table reader: a contents table
// whose rows lie in a subnode of several blocks, and hierarchy tables, match the folders' items.
#include "../common/TestUtil.h"
#include "OutlookFiles.h"

#include <QFile>
#include <gtest/gtest.h>
// See PffFile.cpp: Debian's headers announce a header they do not ship.
#include <libpff/features.h>
#undef LIBPFF_HAVE_BFIO
#include <libpff.h>

namespace {

struct Item {
    libpff_item_t* p = nullptr;
    ~Item()
    {
        if (p)
            libpff_item_free(&p, nullptr);
    }
};

quint32 RowValue(libpff_item_t* table, int row, quint32 tag, quint32 type)
{
    libpff_record_set_t* set = nullptr;
    libpff_record_entry_t* entry = nullptr;
    uint32_t value = 0;
    if (libpff_item_get_record_set_by_index(table, row, &set, nullptr) == 1
        && libpff_record_set_get_entry_by_type(set, tag, type, &entry, 0, nullptr) == 1)
        libpff_record_entry_get_data_as_32bit_integer(entry, &value, nullptr);
    if (entry)
        libpff_record_entry_free(&entry, nullptr);
    if (set)
        libpff_record_set_free(&set, nullptr);
    return value;
}

} // namespace

TEST(OutlookWriterFiles, FolderTablesHoldTheFoldersItems)
{
    qlytest::TempDir dir;
    const QString path = dir.file("c.pst");
    qlytest::MakeOutlookFile("contacts", path, 1000);
    libpff_file_t* file = nullptr;
    ASSERT_EQ(libpff_file_initialize(&file, nullptr), 1);
    ASSERT_EQ(libpff_file_open(file, QFile::encodeName(path).constData(), libpff_get_access_flags_read(), nullptr), 1);
    {
        Item root, subtree, contacts, contents, hierarchy;
        ASSERT_EQ(libpff_file_get_root_folder(file, &root.p, nullptr), 1);
        ASSERT_EQ(libpff_folder_get_sub_folder(root.p, 0, &subtree.p, nullptr), 1);
        ASSERT_EQ(libpff_folder_get_sub_folder(subtree.p, 0, &contacts.p, nullptr), 1);

        ASSERT_EQ(libpff_folder_get_sub_messages(contacts.p, &contents.p, nullptr), 1);
        int rows = 0;
        ASSERT_EQ(libpff_item_get_number_of_record_sets(contents.p, &rows, nullptr), 1);
        ASSERT_EQ(rows, 1000);
        for (int i : {0, 499, 999}) {
            Item message;
            uint32_t id = 0;
            ASSERT_EQ(libpff_folder_get_sub_message(contacts.p, i, &message.p, nullptr), 1);
            libpff_item_get_identifier(message.p, &id, nullptr);
            EXPECT_EQ(RowValue(contents.p, i, 0x67F2, 0x0003), id) << i;  // the row id is the item's
        }

        ASSERT_EQ(libpff_folder_get_sub_folders(subtree.p, &hierarchy.p, nullptr), 1);
        int folders = 0;
        int children = 0;
        libpff_item_get_number_of_record_sets(hierarchy.p, &folders, nullptr);
        libpff_folder_get_number_of_sub_folders(subtree.p, &children, nullptr);
        EXPECT_EQ(folders, 2);  // "Kontakte" and the wastebasket
        EXPECT_EQ(folders, children);
        EXPECT_EQ(RowValue(hierarchy.p, 0, 0x3602, 0x0003), 1000u);  // its content count
    }
    libpff_file_close(file, nullptr);
    libpff_file_free(&file, nullptr);
}
