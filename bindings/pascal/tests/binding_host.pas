// SPDX-License-Identifier: MIT
{ The reference call sequence of tests/bindings/reference_host.c through the
  Pascal unit: the same calls, the same result lines. }
program binding_host;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}
{$APPTYPE CONSOLE}

uses
  SysUtils, quorvel;

var
  Ip: AnsiString;

procedure Line(const Name: string; Result: Integer);
begin
  Writeln(Name, ' ', Result);
end;

procedure Hex(const Name: string; Bytes: PByte; Length: Integer);
var
  I: Integer;
  Text: string;
begin
  Text := Name;
  for I := 0 to Length - 1 do
    Text := Text + ' ' + IntToHex(Bytes[I], 2);
  Writeln(Text);
end;

procedure LastError(const After: string);
var
  Code: Integer;
  Message: string;
begin
  Message := LastErrorMessage(Code);
  Writeln('last_error after ', After, ': ', Code, ' ', Message);
end;

{ Whole receipts and bytes as they are, through TQuorvelPrinter (no confirm
  here: its status polls are timed). }
procedure WholeReceipts;
const
  Own: array[0..5] of Byte = ($1B, $40, Ord('A'), 0, Ord('B'), $0A);
var
  Printer: TQuorvelPrinter;
  Bytes: RawByteString;
  Failed: Integer;
begin
  SetLength(Bytes, Length(Own));
  Move(Own[0], Bytes[1], Length(Own));
  Printer := TQuorvelPrinter.OpenTcp(Ip);
  try
    Printer.Write(Bytes);
    Line('receipt write', 1);
    Printer.BeginReceipt;
    Line('receipt begin', 1);
    Printer.Text('Caf'#$E9, QUORVEL_ALIGN_CENTER, QUORVEL_FONT_A, QUORVEL_SPACING_32, QUORVEL_BOLD_ON);
    Line('receipt text', 1);
    Printer.Write(Bytes);
    Line('receipt write inside', 1);
    Printer.Cut;
    Line('receipt cut', 1);
    Line('receipt end', 1);
    Line('receipt level', Printer.EndReceipt(0));
    Printer.BeginReceipt;
    Line('receipt begin again', 1);
    Printer.Text('dropped');
    Line('receipt dropped text', 1);
    Printer.CancelReceipt;
    Line('receipt cancel', 1);
    Failed := 1;
    try
      Printer.CancelReceipt;
    except
      on EQuorvelPrinter do Failed := 0;
    end;
    Line('receipt cancel again', Failed);
    LastError('cancel again');
    Failed := 1;
    try
      Printer.Confirm(-1);
    except
      on EQuorvelPrinter do Failed := 0;
    end;
    Line('receipt confirm negative', Failed);
    LastError('confirm negative');
  finally
    Printer.Free;
  end;
  Line('receipt close', 1);
  Line('classic open', AbreSocket(PAnsiChar(Ip), 0));
  Line('quorvel_write', quorvel_write(@Own[0], Length(Own)));
  Line('quorvel_write nothing', quorvel_write(nil, 0));
  Line('quorvel_confirm_level', quorvel_confirm_level);
  Line('classic close', FechaSocket);
end;

{ The unit's own helpers; a wrong result ends the run with status 1. }
procedure CheckHelpers;
var
  Refused: string;
begin
  if Cp1252('Caf'#$C3#$A9' '#$E2#$82#$AC) <> 'Caf'#$E9' '#$80 then
  begin
    Writeln(ErrOutput, 'Cp1252 did not give the Windows-1252 bytes');
    Halt(1);
  end;
  Refused := '';
  try
    Cp1252('x'#$C4#$89);
  except
    on E: EQuorvelText do Refused := E.Message;
  end;
  if Pos('U+0109', Refused) = 0 then
  begin
    Writeln(ErrOutput, 'Cp1252 of U+0109 was not refused by name: "', Refused, '"');
    Halt(1);
  end;
  if (BarcodeDataError(QUORVEL_BARCODE_ITF, '1234') <> '') or
     (Pos('even number', BarcodeDataError(QUORVEL_BARCODE_ITF, '12345')) = 0) then
  begin
    Writeln(ErrOutput, 'BarcodeDataError does not name the ITF rule');
    Halt(1);
  end;
end;

const
  Cafe: array[0..4] of AnsiChar = ('C', 'a', 'f', #$E9, #0);
  CafeUtf8: array[0..5] of AnsiChar = ('C', 'a', 'f', #$C3, #$A9, #0);
  BadUtf8: array[0..2] of AnsiChar = (#$E2, #$82, #0);
  Receipt: array[0..15] of AnsiChar =
    ('C', 'a', 'f', #$E9, ' ', 'c', 'o', 'm', ' ', 'a', #$E7, #$FA, 'c', 'a', 'r', #0);

var
  Dest: array[0..5] of AnsiChar;
  Returned: Pointer;
  List, Codes: RawByteString;
  Values: array[0..3] of Integer;
  Count, I: Integer;
  Converted: array[0..15] of AnsiChar;
  Status: TQuorvelStatus;
  Gray: array[0..8 * 16 - 1] of Byte;
  ReturnedText: string;
begin
  if ParamCount <> 1 then Halt(2);
  Ip := AnsiString(ParamStr(1));
  CheckHelpers;

  Writeln('Le_VersaoDLL ', Le_VersaoDLL);
  Line('strlen1', strlen1('abc'));
  Dest := '-----';
  Returned := quorvel_concat(@Dest[0], PAnsiChar('ab'), 2, PAnsiChar('cde'), 3);
  if Returned = @Dest[0] then ReturnedText := 'dest' else ReturnedText := 'other';
  Writeln('concat ', PAnsiChar(@Dest[0]), ' ', ReturnedText);
  List := Writable('10,-20,,30x');
  for I := 0 to 3 do Values[I] := 7;
  Count := separa(PAnsiChar(List), @Values[0]);
  Writeln('separa ', Count, ' ', Values[0], ' ', Values[1], ' ', Values[2], ' ', Values[3]);
  Hex('separa text', PByte(PAnsiChar(List)), Length(List) + 1);

  Line('AbreSocket', AbreSocket(PAnsiChar(Ip), 0));
  Line('AbreSocket again', AbreSocket(PAnsiChar(Ip), 0));
  Line('Le_Status', Le_Status);
  Line('Le_Status_Gaveta', Le_Status_Gaveta);
  Line('ImprimeTexto', ImprimeTexto(@Cafe[0], 1, 0, 5, 1));
  Line('ImprimeTextoLF', ImprimeTextoLF('LF', 2, 1, 1, 0, 3));
  Line('ImprimeTexto180', ImprimeTexto180('180', 0, 1, 2, 1));
  Line('ImprimeTextoInvertido', ImprimeTextoInvertido('INV', 1, 0, 3));
  Line('ImprimeTxFormatado', ImprimeTxFormatado('FMT', 2, 4, 5));
  Line('ImprimeCodigoBarras', ImprimeCodigoBarras(1, 2, 1, 2, 2, '789123456789'));
  Line('ImprimeCodigoBarras_C', ImprimeCodigoBarras_C(0, 8, 0, 3, 1, '{BAB12'));
  Codes := Writable('10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31');
  Line('ImprimeCode128_C', ImprimeCode128_C(PAnsiChar(Codes), 1, 0, 2));
  Codes := Writable('35,26,01,12,34,56,78,00,01,90,65,00,10,00,00,10,42,11,23,45,67,89');
  Line('ImprimeCode128C', ImprimeCode128C(PAnsiChar(Codes), 2, 1));
  Codes := Writable('1,2,3');
  Line('ImprimeCode128C short', ImprimeCode128C(PAnsiChar(Codes), 0, 0));
  Line('ImprimeQRCODE_M1', ImprimeQRCODE_M1(1, 2, 4, 1, 'QR one'));
  Line('ImprimeQRCODE_M2', ImprimeQRCODE_M2(1, 2, 3, 2, 'QR two'));
  Line('ImprimePDF417_M2', ImprimePDF417_M2(0, 4, 3, 2, 'PDF417'));
  Line('ImprimeDataMatrix_M2', ImprimeDataMatrix_M2(2, 0, 1, 5, 'DM'));
  Line('ImprimeLogoNV', ImprimeLogoNV(1, 1, 0));
  Codes := Writable('27,100,2');
  Line('ComandoTx', ComandoTx(PAnsiChar(Codes)));
  Line('ImprimeAutoTeste', ImprimeAutoTeste);
  Line('AcionaGuilhotina', AcionaGuilhotina);
  Line('Abre_Gaveta', Abre_Gaveta);

  FillChar(Converted, SizeOf(Converted), 0);
  Line('quorvel_utf8_to_cp1252', quorvel_utf8_to_cp1252(@CafeUtf8[0], @Converted[0], SizeOf(Converted)));
  Hex('converted', PByte(@Converted[0]), 4);
  Line('quorvel_utf8_to_cp1252 bad', quorvel_utf8_to_cp1252(@BadUtf8[0], @Converted[0], 16));
  LastError('bad UTF-8');
  Line('quorvel_check_barcode', quorvel_check_barcode(QUORVEL_BARCODE_EAN13, '5901234123457'));
  Line('quorvel_check_barcode bad', quorvel_check_barcode(QUORVEL_BARCODE_EAN13, '123'));
  LastError('bad barcode');
  FillChar(Status, SizeOf(Status), 0);
  Line('quorvel_read_status', quorvel_read_status(@Status));
  Writeln('status ', Status.online, ' ', Status.cover_open, ' ', Status.paper_near_end, ' ',
          Status.paper_out, ' raw ', Status.raw[0], ' ', Status.raw[1], ' ', Status.raw[2], ' ',
          Status.raw[3]);
  for I := 0 to High(Gray) do
    if (I mod 16 + I div 16) mod 2 <> 0 then Gray[I] := 255 else Gray[I] := 0;
  Line('quorvel_print_image', quorvel_print_image(@Gray[0], 16, 8, 16, 1, 0));
  Line('quorvel_store_logo', quorvel_store_logo(1, @Gray[0], 16, 8, 16, 1));
  Line('FechaSocket', FechaSocket);
  Line('FechaSocket again', FechaSocket);
  LastError('FechaSocket again');

  Line('quorvel_open_tcp', quorvel_open_tcp(PAnsiChar(Ip), 9100, 2));
  Line('Le_Status model 2', Le_Status);
  Line('FechaSocket', FechaSocket);
  Line('ImprimeTexto no link', ImprimeTexto('lost', 0, 0, 0, 0));
  LastError('no link');

  Line('AbrePortaSerial', AbrePortaSerial('/nonexistent/ttyQ0', 0));
  Line('FechaPortaSerial', FechaPortaSerial);
  Line('quorvel_open_serial', quorvel_open_serial('/nonexistent/ttyQ0', 19200, 0));
  LastError('quorvel_open_serial');

  Line('class open', AbreSocket(PAnsiChar(Ip), QUORVEL_MODEL_0));
  Line('class text', ImprimeTexto(@Receipt[0], QUORVEL_ALIGN_CENTER, QUORVEL_FONT_A, QUORVEL_SPACING_32, QUORVEL_BOLD_ON));
  Line('class formatted', ImprimeTxFormatado('TOTAL R$ 11,50', QUORVEL_ALIGN_RIGHT, QUORVEL_SPACING_32, QUORVEL_MODE_DOUBLE_SIZE));
  Line('class barcode', ImprimeCodigoBarras_C(QUORVEL_ALIGN_CENTER, QUORVEL_BARCODE_EAN13, QUORVEL_BAR_HEIGHT_80,
       QUORVEL_BAR_WIDTH_2, QUORVEL_HRI_BELOW, '789123456789'));
  Codes := Writable('35,26,1,12,34,56,78,0,1,90,65,0,10,0,0,10,42,11,23,45,67,89');
  Line('class code128', ImprimeCode128C(PAnsiChar(Codes), QUORVEL_ALIGN_CENTER, QUORVEL_BAR_HEIGHT_80));
  Line('class qr', ImprimeQRCODE_M1(QUORVEL_ALIGN_CENTER, QUORVEL_QR_MODEL_2, 4, QUORVEL_QR_ECC_M, 'https://example.com/r/42'));
  Codes := Writable('27,100,2');
  Line('class raw', ComandoTx(PAnsiChar(Codes)));
  Line('class cut', AcionaGuilhotina);
  Line('class status', Le_Status);
  Line('class close', FechaSocket);
  WholeReceipts;
end.
