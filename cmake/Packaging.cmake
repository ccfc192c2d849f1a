# `make package`: quorix_<version>_<arch>.deb with both programs, the desktop entry, the icon,
# the MIME types, the manual pages, the guide and the examples. The libraries it needs are
# found by dpkg-shlibdeps from the programs themselves, under their Debian names.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quorix")
# Who answers for the package: set at build time (cmake -DQUORIX_MAINTAINER="Name <mail>").
set(QUORIX_MAINTAINER "Quorix Developers <maintainers@quorix.org>" CACHE STRING
    "The Debian package's maintainer, \"Name <mail address>\"")
set(CPACK_PACKAGE_CONTACT "${QUORIX_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUORIX_MAINTAINER}")
# A Debian revision of its own: the package's changes go in changelog.Debian.gz.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(QUORIX_DEB_VERSION "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
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
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quorix reads XML documents whose data rows are elements inside a rowset
element, merges the element paths of all rows into one column definition
that you can edit, and creates one empty table per group of sibling lines,
all in one transaction. It then loads the document's rows into those tables,
exactly as written, all rows or none. It works on SQLite files, PostgreSQL
and MariaDB / MySQL (including Galera clusters), shows the connected
database's catalog and a table's rows, and writes tables back as one
document. quorix-cli does the same work for scripts. The program's texts
are Japanese.

Quorix（クオリクス）は、XML 文書の構造からデータベースの表を作るツールです。
すべての行の要素のパスを一つの列定義にまとめて編集でき、兄弟の行のまとまりごとに
空の表を一つのトランザクションで作ります。文書の行を書かれたとおりの値のまま表に
取り込むこともできます（すべての行か、一行も入らないか）。SQLite のファイル、
PostgreSQL、MariaDB / MySQL に対応し、接続しているデータベースの構成をツリーで
表示します。スクリプトからは quorix-cli で同じ仕事ができます。")

# The copyright file, the package's changelog (compressed as Debian keeps it) and the
# overrides of what lintian rightly finds but is meant.
string(TIMESTAMP QUORIX_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/data/changelog.Debian.in ${PROJECT_BINARY_DIR}/changelog.Debian @ONLY)
execute_process(COMMAND gzip -9 -n -c ${PROJECT_BINARY_DIR}/changelog.Debian
                OUTPUT_FILE ${PROJECT_BINARY_DIR}/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${PROJECT_SOURCE_DIR}/data/copyright ${PROJECT_BINARY_DIR}/changelog.Debian.gz
        DESTINATION share/doc/quorix)
install(FILES ${PROJECT_SOURCE_DIR}/data/lintian-overrides DESTINATION share/lintian/overrides
        RENAME quorix)
include(CPack)
