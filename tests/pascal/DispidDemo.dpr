// Calls members of a dispinterface of the generated unit of scrrun.dll: every call goes through
// IDispatch.Invoke with the dispid the unit declares.
program DispidDemo;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}
{$APPTYPE CONSOLE}

uses ActiveX, ComObj, Variants, Scripting_TLB;

var
  Words: IDictionaryDisp;
  Files: IFileSystem3Disp;
begin
  CoInitialize(nil);
  Words := IDictionaryDisp(CreateComObject(CLASS_Dictionary) as IDispatch);
  Words.Add('a', 'b');
  Words.Add('c', 'd');
  WriteLn(Integer(Words.Count));
  WriteLn(string(Words.Item['a']));
  Files := IFileSystem3Disp(CreateComObject(CLASS_FileSystemObject) as IDispatch);
  WriteLn(string(Files.BuildPath('c:\x', 'y.txt')));
  Words := nil;
  Files := nil;
  CoUninitialize;
end.
