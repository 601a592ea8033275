// The closing attribute records: the attributes with which the exchange
// file began, written back after the report has changed them.
#pragma once

void IniZokusei();
