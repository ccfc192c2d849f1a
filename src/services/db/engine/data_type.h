#pragma once

#include <cstdint>

namespace quorix {

/// Column data type codes of the database service (the published enumeration).
enum DataType : int32_t {
    adEmpty = 0,
    adSmallInt = 2,
    adInteger = 3,
    adSingle = 4,
    adDouble = 5,
    adCurrency = 6,
    adDate = 7,
    adBoolean = 11,
    adDecimal = 14,
    adTinyInt = 16,
    adUnsignedTinyInt = 17,
    adBigInt = 20,
    adGUID = 72,
    adBinary = 128,
    adChar = 129,
    adWChar = 130,
    adNumeric = 131,
    adDBDate = 133,
    adDBTimeStamp = 135,
    adVarChar = 200,
    adLongVarChar = 201,
    adVarWChar = 202,
    adLongVarWChar = 203,
    adVarBinary = 204,
    adLongVarBinary = 205,
};

/// Column attribute bits.
enum ColumnAttributes : int32_t { adColFixed = 1, adColNullable = 2 };

/// Field attribute bits of a record set field.
enum FieldAttributes : int32_t { adFldUnspecified = -1, adFldIsNullable = 32 };

/// Key types and referential rules.
enum KeyType : int32_t { adKeyPrimary = 1, adKeyForeign = 2, adKeyUnique = 3 };
enum Rule : int32_t { adRINone = 0, adRICascade = 1, adRISetNull = 2, adRISetDefault = 3 };

/// Index null handling bits.
enum IndexNulls : int32_t { adIndexNullsAllow = 0, adIndexNullsDisallow = 1 };

/// Command types.
enum CommandType : int32_t { adCmdUnspecified = -1, adCmdText = 1 };

}  // namespace quorix
