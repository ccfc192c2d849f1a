# `make package`: quorix_<version>_<arch>.deb with both programs, the desktop entry, the icon,
# the MIME types, the manual pages, the guide and the examples. The libraries it needs are
# found by dpkg-shlibdeps from the programs themselves, under their Debian names.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quorix")
set(CPACK_PACKAGE_CONTACT "Quorix <quorix@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# (The window's platform plugin, loaded at run time, comes with libqt6gui6, which the
# program links.)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-noto-cjk | fonts-ipafont-gothic | fonts-vlgothic")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "sqlite3, postgresql-client, mariadb-client")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "design database tables from the structure of XML documents")
# The long description, English then Japanese (CPack indents it and marks the empty line).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quorix reads XML documents whose data rows are elements inside a rowset element,
merges the element paths of all rows into one column definition that you can edit,
and creates one empty table per group of sibling lines, all in one transaction.
It then loads the document's rows into those tables, exactly as written, all rows
or none. It works on SQLite files, PostgreSQL and MariaDB / MySQL (including Galera
clusters), and shows the connected database's catalog. quorix-cli does the same
work for scripts. The program's texts are Japanese.

Quorix（クオリクス）は、XML 文書の構造からデータベースの表を作るツールです。
すべての行の要素のパスを一つの列定義にまとめて編集でき、兄弟の行のまとまりごとに
空の表を一つのトランザクションで作ります。文書の行を書かれたとおりの値のまま表に
取り込むこともできます（すべての行か、一行も入らないか）。SQLite のファイル、
PostgreSQL、MariaDB / MySQL に対応し、接続しているデータベースの構成をツリーで
表示します。スクリプトからは quorix-cli で同じ仕事ができます。")
include(CPack)
