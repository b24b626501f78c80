// SPDX-License-Identifier: MIT
{ Several printers at once through the Pascal unit: a receipt printer and a bar
  printer over TCP and a kitchen printer on a serial port, open together, each
  driven by its own thread. tests/bindings/run_several.py checks that every
  order landed whole on its own printer and nowhere else.
    several_printers RECEIPT_IP KITCHEN_PORT BAR_IP ORDERS }
program several_printers;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}
{$APPTYPE CONSOLE}

uses
  {$IFDEF UNIX}cthreads,{$ENDIF}
  Classes, SysUtils, quorvel;

type
  TStation = class(TThread)
  private
    FPrinter: TQuorvelPrinter;
    FName: AnsiString;
    FOrders: Integer;
  public
    Failure: string;
    constructor Create(Printer: TQuorvelPrinter; const Name: AnsiString; Orders: Integer);
    procedure Execute; override;
  end;

constructor TStation.Create(Printer: TQuorvelPrinter; const Name: AnsiString; Orders: Integer);
begin
  FPrinter := Printer;
  FName := Name;
  FOrders := Orders;
  inherited Create(False);
end;

procedure TStation.Execute;
var
  N: Integer;
begin
  try
    for N := 0 to FOrders - 1 do
      FPrinter.Text(FName + ' order ' + AnsiString(Format('%.3d', [N])));
    FPrinter.Cut;
  except
    on E: EQuorvelPrinter do Failure := string(FName) + ': ' + E.Message;
  end;
end;

var
  Printers: array[0..2] of TQuorvelPrinter;
  Stations: array[0..2] of TStation;
  Names: array[0..2] of AnsiString = ('RECEIPT', 'KITCHEN', 'BAR');
  I, Failed: Integer;
begin
  if ParamCount <> 4 then Halt(2);
  Printers[0] := TQuorvelPrinter.OpenTcp(AnsiString(ParamStr(1)));
  Printers[1] := TQuorvelPrinter.OpenSerial(AnsiString(ParamStr(2)));
  Printers[2] := TQuorvelPrinter.OpenTcp(AnsiString(ParamStr(3)));
  for I := 0 to 2 do
    Stations[I] := TStation.Create(Printers[I], Names[I], StrToInt(ParamStr(4)));
  Failed := 0;
  for I := 0 to 2 do
  begin
    Stations[I].WaitFor;
    if Stations[I].Failure <> '' then
    begin
      Writeln(ErrOutput, Stations[I].Failure);
      Inc(Failed);
    end;
    Stations[I].Free;
    Printers[I].Close;
  end;
  { A closed printer refuses its calls and sends nothing anywhere. }
  try
    Printers[1].Cut;
    Writeln(ErrOutput, 'a closed printer took a cut');
    Inc(Failed);
  except
    on E: EQuorvelPrinter do
      if E.Code <> QUORVEL_E_BAD_HANDLE then
      begin
        Writeln(ErrOutput, 'closed printer: ', E.Message);
        Inc(Failed);
      end;
  end;
  for I := 0 to 2 do Printers[I].Free;
  if Failed > 0 then Halt(1);
end.
